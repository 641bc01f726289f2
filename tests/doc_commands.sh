#!/usr/bin/env bash
# Runs every labmix command that README.md (its sh code blocks and the "$ labmix" lines of its
# other code blocks), `labmix --help` (its examples) and the man page (its EXAMPLES) show, as
# written, from a scratch folder that holds the repository's examples/, with the built labmix
# first on the path. Each must end with status 0. The set-up and build lines (cmake, apt-get, pip,
# R CMD) are left to the CI, which runs them; a command of GNU parallel is skipped when parallel is
# not installed.
#   bash doc_commands.sh LABMIX SOURCE
set -uo pipefail
labmix="$1"
source_dir="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
ln -s "$source_dir/examples" "$scratch/examples"
export PATH="$(cd "$(dirname "$labmix")" && pwd):$PATH"

# The commands of each document, one a line, continuation lines joined.
readme_commands() {
    awk '/^```sh$/ { sh = 1; next } /^```/ { sh = 0; block = !block; next }
         { line = $0 }
         sh || (block && line ~ /^\$ labmix /) {
             sub(/^\$ /, "", line)
             while (line ~ /\\$/ && (getline more) > 0) { sub(/\\$/, "", line); line = line more }
             print line }' "$source_dir/README.md" | grep -Ev '^(cmake|\$\(command -v sudo\)|sudo|apt-get|python3 -m venv|R CMD) '
}
help_commands() {
    "$labmix" --help | awk '/^Example/ { on = 1; next } on && /^$/ { exit }
        on { line = $0; while (line ~ /\\$/ && (getline more) > 0) { sub(/\\$/, "", line); line = line more }
             sub(/^ +/, "", line); print line }'
}
man_commands() {
    awk '/^\.SH EXAMPLES/ { on = 1 } on && /^\.nf/ { take = 1; next } take && /^\.fi/ { exit }
         take { gsub(/\\-/, "-"); print }' "$source_dir/tool/labmix.1"
}

status=0
count=0
while IFS=$'\t' read -r where command; do
    [[ -n "$command" ]] || continue
    if [[ "$command" == parallel* ]] && ! command -v parallel >/dev/null; then
        echo "skipped (no GNU parallel): $command"
        continue
    fi
    count=$((count + 1))
    echo "$where: $command"
    if ! (cd "$scratch" && bash -euo pipefail -c "$command" >"$scratch/.out" 2>"$scratch/.err"); then
        echo "FAILED ($where): $command" >&2
        cat "$scratch/.err" >&2
        status=1
    fi
done < <(readme_commands | sed 's/^/README.md\t/'; help_commands | sed 's/^/--help\t/';
         man_commands | sed 's/^/labmix.1\t/')
echo "$count commands run"
((count >= 10)) || { echo "too few commands found: $count" >&2; exit 1; }
exit "$status"
