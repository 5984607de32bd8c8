#!/usr/bin/env bash
# Lists includes in lib/ that break the layering of the core: a folder may include only the
# folders above it (lower rank below); folders of one rank never include each other; lib/ has no
# GUI toolkit header. Usage: check-layers.sh [SOURCE-DIR]; exits 1 when something breaks the rule.
set -u
root=${1:-$(dirname "$0")/..}
[ -d "$root/lib" ] || { echo "$root/lib: no such folder"; exit 1; }
declare -A rank=([platform]=0 [resources]=1 [core]=2 [settings]=3 [notes]=4 [project]=4
                 [repository]=4 [toolkit]=4 [translator]=5 [editing]=6 [workspace]=7)
inc='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
bad=0
while IFS= read -r f; do
  rel=${f#"$root"/lib/}
  from=${rel%%/*}
  [ "$from" = "$rel" ] && continue # the files at the top of lib/ start and wrap the whole library
  if [ -z "${rank[$from]+x}" ]; then
    echo "lib/$rel: folder lib/$from/ is not one of the layers"
    bad=1
    continue
  fi
  while IFS= read -r path; do
    to=${path%%/*}
    [ "$to" = "$path" ] || [ "$to" = "$from" ] || [ -z "${rank[$to]+x}" ] && continue
    if [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
      echo "lib/$rel includes \"$path\": lib/$from/ may not use lib/$to/"
      bad=1
    fi
  done < <(sed -nE "s/${inc}\"([^\"]+)\".*/\1/p" "$f")
done < <(find "$root/lib" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \
                                      -o -name '*.cc' \) | sort)
while IFS= read -r hit; do
  echo "${hit#"$root"/}: lib/ stays headless; GUI code belongs in gui/"
  bad=1
done < <(grep -rnE "${inc}<Q[A-Za-z]" "$root/lib")
exit $bad
