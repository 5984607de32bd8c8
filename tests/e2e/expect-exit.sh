#!/bin/sh
# expect-exit.sh CODE TEXT COMMAND...: passes when COMMAND exits with CODE and prints TEXT.
want=$1; text=$2; shift 2
out=$("$@" 2>&1); got=$?
[ "$got" = "$want" ] || { echo "exit code $got, expected $want"; echo "$out"; exit 1; }
printf '%s\n' "$out" | grep -qF -- "$text" || { echo "missing '$text' in:"; echo "$out"; exit 1; }
