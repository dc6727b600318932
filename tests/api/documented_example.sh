#!/usr/bin/env bash
# Builds the example program of docs/api.md, exactly as printed there, against the built library
# and runs it: a picture and its figures from a good scene, the line and message of a broken one.
#
#   tests/api/documented_example.sh SOURCE_DIR LIBRARY_DIR C_COMPILER [COMPILER_FLAGS...]
set -euo pipefail
source=$1 library=$2 cc=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk '/^## A complete program/ { on = 1 } on && /^```c$/ { grab = 1; next } grab && /^```$/ { exit } grab' \
  "$source/docs/api.md" >"$work/example.c"
grep -q "int main" "$work/example.c" || { echo "no example program in docs/api.md"; exit 1; }
"$cc" -std=c99 -Wall -Wextra -Werror "$@" -I "$source/src/api" "$work/example.c" \
  -L "$library" -lorvel -Wl,-rpath,"$library" -o "$work/example"

cd "$work"
./example "$source/scenes/showcase.orv" 64 48 >out.txt 2>progress.txt
cat out.txt
grep -q "^64 x 48, centre pixel [0-9]* [0-9]* [0-9]*$" out.txt
grep -q "^[0-9]* primitives, [0-9]* rays, [0-9.]* s$" out.txt
grep -q "100%" progress.txt
test -s picture.png

printf 'camera { position <0 -5 1> look_at <0 0 1> }\n\nsphere { center <0 0 1> radius }\n' >broken.orv
if ./example broken.orv 2>err.txt; then
  echo "the example rendered a broken scene"
  exit 1
fi
cat err.txt
grep -qx "broken.orv, line 3: Decimal value expected" err.txt
echo "The documented example builds and runs"
