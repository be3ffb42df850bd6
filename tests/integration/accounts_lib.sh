# Throw-away accounts for the access tests: the operator group (made only when the machine lacks
# it), one account inside it and one outside. Everything made here is removed on every path by
# accounts_cleanup, which the caller's EXIT trap must run. Source it after tamrix95_lib.sh.
#
#   accounts_setup TAG    ACCOUNT_MEMBER and ACCOUNT_OUTSIDER, names unique to the run
#   as_account NAME CMD   runs CMD as NAME, keeping the environment (TAMRIX_SYSROOT)

ACCOUNTS_MADE=()
ACCOUNTS_GROUP_MADE=

accounts_setup() {
  local tag=$1
  command -v useradd >/dev/null && command -v runuser >/dev/null || t95_skip "needs useradd and runuser"
  if ! getent group tamrix >/dev/null; then
    groupadd --system tamrix || t95_skip "cannot create the group tamrix"
    ACCOUNTS_GROUP_MADE=1
  fi
  ACCOUNT_MEMBER=tx${tag}m$$
  ACCOUNT_OUTSIDER=tx${tag}o$$
  useradd --system --no-create-home --shell /usr/sbin/nologin -G tamrix "$ACCOUNT_MEMBER" &&
    ACCOUNTS_MADE+=("$ACCOUNT_MEMBER") || t95_skip "cannot create accounts"
  useradd --system --no-create-home --shell /usr/sbin/nologin "$ACCOUNT_OUTSIDER" &&
    ACCOUNTS_MADE+=("$ACCOUNT_OUTSIDER") || t95_skip "cannot create accounts"
}

accounts_cleanup() {
  local name
  for name in "${ACCOUNTS_MADE[@]}"; do
    pkill -9 -u "$name" 2>/dev/null
    userdel "$name" 2>/dev/null
  done
  ACCOUNTS_MADE=()
  if [ -n "$ACCOUNTS_GROUP_MADE" ]; then
    groupdel tamrix 2>/dev/null
    ACCOUNTS_GROUP_MADE=
  fi
}

as_account() {
  local name=$1
  shift
  runuser -u "$name" -- "$@"
}
