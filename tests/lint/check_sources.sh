#!/usr/bin/env bash
# Checks of the sources that no compiler makes: every tracked C++ file is clang-format clean
# (with the repository's .clang-format), no #include goes up the layers
#   generics < textutils < phylo < tool
# (a library never includes one built on top of it), and no two components of a folder include
# each other, directly or through others. Each finding names the file and line;
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

echo "cycles: components (a .hpp and its .cpp) of one folder that include each other"
# A file's component is its path without the extension; an include of another component of the
# same folder is an edge, and no component may reach itself.
if ! python3 - "${files[@]}" <<'PY'
import os, re, sys
edges = {}
for f in sys.argv[1:]:
    folder, comp = os.path.dirname(f), os.path.splitext(f)[0]
    for line in open(f, encoding="utf-8", errors="replace"):
        m = re.match(r'\s*#\s*include\s*[<"]([^>"]+)\.hpp[>"]', line)
        if m and m.group(1) != comp and os.path.dirname(m.group(1)) == folder:
            edges.setdefault(comp, set()).add(m.group(1))
state, found = {}, []
def visit(u, path):
    state[u] = 1
    path.append(u)
    for v in sorted(edges.get(u, ())):
        if state.get(v) == 1:
            found.append(path[path.index(v):] + [v])
        elif v not in state:
            visit(v, path)
    path.pop()
    state[u] = 2
for u in sorted(edges):
    if u not in state:
        visit(u, [])
for c in found:
    print("include cycle: " + " -> ".join(c), file=sys.stderr)
sys.exit(1 if found else 0)
PY
then
    status=1
fi

((status == 0)) && echo "sources: clean"
exit "$status"
