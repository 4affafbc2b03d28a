# Shared by the scripts (sourced, not run): installing what is missing, and the PostgreSQL
# fixture that the tests and the demo run against.

scripts_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# install_missing PACKAGE...: installs the Debian packages among PACKAGE that are not installed
# yet; does nothing when all of them are. Needs root for an install, and says so otherwise.
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
      missing+=("$package")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "$(basename "$0"): run as root to install: ${missing[*]}" >&2
    return 1
  fi
  echo "$(basename "$0"): installing ${missing[*]}" >&2
  local apt=(apt-get -q -o DPkg::Lock::Timeout=600)
  export DEBIAN_FRONTEND=noninteractive
  "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
    { "${apt[@]}" update >/dev/null && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; }
}

# start_pg_fixture: starts a fresh PostgreSQL fixture (on QTV_PG_PORT, if set), stops it when
# the calling script exits, and exports the connection strings the tests read.
start_pg_fixture() {
  trap '"$scripts_dir/pg-fixture" stop' EXIT
  "$scripts_dir/pg-fixture" start
  eval "$("$scripts_dir/pg-fixture" env)"
}
