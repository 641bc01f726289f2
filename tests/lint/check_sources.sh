#!/usr/bin/env bash
# Checks of the sources that no compiler makes: every tracked C++ file is clang-format clean
# (with the repository's .clang-format), and no #include goes up the layers
#   generics < textutils < phylo < tool
# (a library never includes one built on top of it). Each finding names the file and line;
# the exit status is 1 when there is any.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/../.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp')
else
    mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.hpp' \) -print | sed 's|^\./||')
fi
status=0

echo "clang-format: ${#files[@]} files"
# --dry-run -Werror prints "file:line:column: error: code should be clang-formatted" for each
# difference.
if ! clang-format --dry-run -Werror --style=file "${files[@]}"; then
    echo "not clang-format clean: run clang-format -i on the files above" >&2
    status=1
fi

echo "layers: #include lines of generics/, textutils/, phylo/, tool/"
rank() {
    case "$1" in
    generics) echo 0 ;;
    textutils) echo 1 ;;
    phylo) echo 2 ;;
    tool) echo 3 ;;
    *) echo -1 ;;
    esac
}
for file in "${files[@]}"; do
    layer="${file%%/*}"
    own=$(rank "$layer")
    ((own >= 0)) || continue
    dir="$(dirname "$file")"
    while IFS=: read -r line text; do
        target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1/' <<<"$text")"
        # A quoted include may be relative to the including file.
        if [[ "$text" == *'"'* && -f "$dir/$target" ]]; then
            target="$(realpath -m --relative-to=. "$dir/$target")"
        fi
        included=$(rank "${target%%/*}")
        if ((included > own)); then
            echo "$file:$line: $layer must not include ${target%%/*} ($target)" >&2
            status=1
        fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file")
done

((status == 0)) && echo "sources: clean"
exit "$status"
