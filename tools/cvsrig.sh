#!/usr/bin/env bash
# A scratch CVS repository with a password server on a loopback port, for
# tests and for trying the client by hand.
#
#   tools/cvsrig.sh start [DIR] [--owner-pid PID]
#       Creates DIR (default: a new mktemp -d) with a repository DIR/repo and
#       starts a listener on 127.0.0.1, port chosen by the kernel, that runs
#       one "cvs pserver" per connection (stderr on the socket, as inetd
#       does). Prints shell-style lines: RIG_DIR, RIG_REPO, RIG_HOST, RIG_PORT,
#       RIG_SYSUSER and one RIG_USER line per account ("name:password").
#       With --owner-pid the listener ends by itself once PID is gone.
#       DIR/rig.accounts holds the same accounts, one "name:password" a line.
#   tools/cvsrig.sh stop DIR       Stops the listener and its servers.
#   tools/cvsrig.sh clean DIR      stop, then removes DIR.
#   tools/cvsrig.sh server DIR
#       Runs "cvs server" on standard input and output (the local method;
#       the client sends "Root DIR/repo").
#   tools/cvsrig.sh import DIR MODULE SRC
#       Imports the tree SRC as MODULE (vendor tag "fw", release tag "start").
#
# pserver will not serve as root, so CVSROOT/passwd maps every account to an
# unprivileged system user: the calling user, or "nobody" when run as root
# (the repository is then made writable for it, and CVSUMASK=000 keeps later
# root-made files usable).
set -euo pipefail

# Accounts: name, password. An empty password field in CVSROOT/passwd lets
# "anyone" in with any password.
RIG_ACCOUNTS=(
  "alice:Secret-42"
  "odd:q z~!@#\$%^&*()_+{}|:\"<>?\`-=[]\\;',./"
  "anyone:"
)

die() { echo "cvsrig: $*" >&2; exit 1; }

sysuser() {
  if [ "$(id -u)" -eq 0 ]; then
    getent passwd nobody >/dev/null || useradd --system --no-create-home --shell /usr/sbin/nologin nobody
    echo nobody
  else
    id -un
  fi
}

run_cvs() {
  if [ "$(id -u)" -eq 0 ]; then CVSUMASK=000 cvs -f -Q "$@"; else cvs -f -Q "$@"; fi
}

open_up() {
  # The pserver's system user must be able to write the repository.
  local dir=$1
  if [ "$(id -u)" -eq 0 ]; then
    chmod -R a+rwX "$dir/repo" "$dir/tmp"
    chmod 1777 "$dir/tmp"
  fi
}

init_repo() {
  local dir=$1 user
  user=$(sysuser)
  mkdir -p "$dir/tmp"
  chmod 755 "$dir"
  if [ ! -d "$dir/repo/CVSROOT" ]; then
    run_cvs -d "$dir/repo" init
    {
      echo "SystemAuth=no"
      echo "LockDir=$dir/repo/.locks"
    } >>"$dir/repo/CVSROOT/config"
    mkdir -p "$dir/repo/.locks"
    : >"$dir/repo/CVSROOT/passwd"
    : >"$dir/rig.accounts"
    local entry name pw hash
    for entry in "${RIG_ACCOUNTS[@]}"; do
      name=${entry%%:*}
      pw=${entry#*:}
      if [ -z "$pw" ]; then
        hash=""
      else
        hash=$(PW="$pw" perl -e 'print crypt($ENV{PW}, q($6$) . join("", map { (q(a)..q(z))[rand 26] } 1..12) . q($))')
      fi
      echo "$name:$hash:$user" >>"$dir/repo/CVSROOT/passwd"
      printf '%s\n' "$entry" >>"$dir/rig.accounts"
    done
  fi
  open_up "$dir"
}

# The listener. Arguments: port file, owner pid (0: none), then the server
# command.
LISTENER_PL='
    use strict; use warnings;
    use IO::Socket::INET; use POSIX qw(WNOHANG setsid);
    my ($portfile, $owner, @cmd) = @ARGV;
    my $srv = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => 0,
                                    Listen => 64, Proto => "tcp")
      or die "cvsrig: cannot listen: $!\n";
    my %kids;
    my $done = 0;
    my $orphaned = 0;
    $SIG{TERM} = $SIG{INT} = $SIG{HUP} = sub { $done = 1 };
    $SIG{PIPE} = "IGNORE";
    open(my $pf, ">", "$portfile.new") or die; print $pf $srv->sockport, "\n"; close $pf;
    rename("$portfile.new", $portfile) or die;
    while (!$done) {
      for my $k (keys %kids) { delete $kids{$k} if waitpid($k, WNOHANG) != 0; }
      if ($owner && !kill(0, $owner)) { $orphaned = 1; last; }
      my $rin = ""; vec($rin, fileno($srv), 1) = 1;
      my $n = select(my $rout = $rin, undef, undef, 0.5);
      next unless $n && $n > 0;
      my $c = $srv->accept or next;
      my $pid = fork;
      if (!defined $pid) { close $c; next; }
      if ($pid == 0) {
        $SIG{PIPE} = "DEFAULT";
        close $srv;
        open(STDIN, "<&", $c) or POSIX::_exit(127);
        open(STDOUT, ">&", $c) or POSIX::_exit(127);
        open(STDERR, ">&", $c) or POSIX::_exit(127);
        close $c;
        exec { $cmd[0] } @cmd or POSIX::_exit(127);
      }
      $kids{$pid} = 1;
      close $c;
    }
    close $srv;
    kill("TERM", keys %kids) if %kids;
    for (1..20) { for my $k (keys %kids) { delete $kids{$k} if waitpid($k, WNOHANG) != 0; } last unless %kids; select(undef, undef, undef, 0.02); }
    kill("KILL", keys %kids) if %kids;
    for my $k (keys %kids) { waitpid($k, 0); }
    unlink $portfile;
    # The owner died without tearing the rig down: remove it ourselves.
    if ($orphaned) {
      (my $dir = $portfile) =~ s{/[^/]*$}{};
      system("rm", "-rf", "--", $dir) if -d "$dir/repo/CVSROOT";
    }
'

cmd_start() {
  local dir="" owner=0
  while [ $# -gt 0 ]; do
    case $1 in
      --owner-pid) owner=$2; shift 2 ;;
      -*) die "unknown option $1" ;;
      *) dir=$1; shift ;;
    esac
  done
  [ -n "$dir" ] || dir=$(mktemp -d)
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  [ ! -f "$dir/rig.pid" ] || ! running "$(cat "$dir/rig.pid")" || die "already running in $dir"
  init_repo "$dir"
  rm -f "$dir/rig.port"
  # setsid: the listener outlives this script and ignores the terminal.
  setsid perl -e "$LISTENER_PL" \
    "$dir/rig.port" "$owner" /usr/bin/cvs -f -T "$dir/tmp" "--allow-root=$dir/repo" pserver \
    </dev/null >>"$dir/rig.log" 2>&1 &
  echo $! >"$dir/rig.pid"
  local i
  for i in $(seq 1 100); do
    [ -s "$dir/rig.port" ] && break
    running "$(cat "$dir/rig.pid")" || die "listener failed: $(cat "$dir/rig.log")"
    sleep 0.05
  done
  [ -s "$dir/rig.port" ] || die "listener did not start"
  echo "RIG_DIR=$dir"
  echo "RIG_REPO=$dir/repo"
  echo "RIG_HOST=127.0.0.1"
  echo "RIG_PORT=$(cat "$dir/rig.port")"
  echo "RIG_SYSUSER=$(sysuser)"
  local entry
  for entry in "${RIG_ACCOUNTS[@]}"; do
    printf 'RIG_USER=%q\n' "$entry"
  done
}

# True while the process runs (an exited one that nobody has reaped yet, as
# the detached listener may be, counts as gone).
running() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ -n "$stat" ] && [ "${stat%% *}" != Z ]
}

cmd_stop() {
  local dir=${1:?directory}
  [ -f "$dir/rig.pid" ] || return 0
  local pid
  pid=$(cat "$dir/rig.pid")
  if running "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    local i
    for i in $(seq 1 100); do
      running "$pid" || break
      sleep 0.02
    done
    running "$pid" && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$dir/rig.pid"
}

cmd_clean() {
  local dir=${1:?directory}
  cmd_stop "$dir"
  [ -d "$dir/repo/CVSROOT" ] || [ ! -e "$dir" ] || die "$dir does not look like a rig directory"
  rm -rf "$dir"
}

cmd_import() {
  local dir=${1:?directory} module=${2:?module} src=${3:?source tree}
  (cd "$src" && run_cvs -d "$dir/repo" import -m "import $module" "$module" fw start)
  open_up "$dir"
}

case ${1:-} in
  start) shift; cmd_start "$@" ;;
  stop) shift; cmd_stop "$@" ;;
  clean) shift; cmd_clean "$@" ;;
  import) shift; cmd_import "$@" ;;
  server)
    shift
    [ -d "${1:?directory}/repo/CVSROOT" ] || die "no repository in $1"
    if [ "$(id -u)" -eq 0 ]; then export CVSUMASK=000; fi
    exec cvs -f server ;;
  *) sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2; exit 2 ;;
esac
