#pragma once
// Password scrambling of the password-server authentication: not secret
// keeping, it only keeps the password from travelling as plain text.

// Returns a new NUL-terminated array (free it with delete[]) holding "A"
// followed by every byte of password replaced through the fixed substitution
// table of the protocol. A null password is taken as the empty one, which
// gives "A".
char* scramble(char const* password);
