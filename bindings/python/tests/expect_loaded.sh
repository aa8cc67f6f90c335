# expect <what> <file> <command...>: the library that `command
# loaded_library.py` loads, run in $scratch, is <file>; else the caller exits.
# Sourced by the install tests, which set $package and $scratch.
expect() {
  local what=$1 file=$2 loaded
  shift 2
  loaded=$(cd "$scratch" && "$@" "$package/tests/loaded_library.py")
  if [ "$loaded" != "$file" ]; then
    echo "$what: loaded '$loaded', not '$file'" >&2
    exit 1
  fi
  echo "$what: $loaded"
}
