#!/bin/sh
# ssh runs this program (as SSH_ASKPASS) when it needs an answer and has no
# terminal. It hands over the login profile's password, which the transport
# puts into SSH_CVS_PASSWORD, but only for a password or passphrase prompt.
# Everything else gets no answer: above all the question whether to trust an
# unknown host key, which a password that reads "yes" would otherwise accept.

# Confirmations and notices (SSH_ASKPASS_PROMPT=confirm or none) are refused.
[ -z "${SSH_ASKPASS_PROMPT-}" ] || exit 1
# No password was handed over.
[ -n "${SSH_CVS_PASSWORD+set}" ] || exit 1

case ${1-} in
  *'(yes/no'* | *"'yes'"*) exit 1 ;;
  *[Pp]assword:* | *[Pp]assphrase*:*) ;;
  *) exit 1 ;;
esac

# printf, not echo: the shell's echo would interpret backslashes.
printf '%s\n' "$SSH_CVS_PASSWORD"
