# Shared by the end-to-end benchmark scripts; source it after setting `root`.

# /usr/bin/time gives the peak-memory figures; install Debian's package when it is missing.
ensure_time() {
    [[ -x /usr/bin/time ]] && return
    echo "installing the time package for peak-memory figures" >&2
    if [[ $(id -u) -eq 0 ]]; then apt-get install -y -qq time >/dev/null; else sudo apt-get install -y -qq time >/dev/null; fi
}

# Builds a Release labmix in build folder $1 and prints its path.
build_labmix() {
    local build="$1" generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DLABMIX_BUILD_TESTS=OFF -DLABMIX_SANITIZE=OFF >/dev/null
    cmake --build "$build" --target labmix -j2 >/dev/null
    echo "$build/tool/labmix"
}

# Seconds taken by one run of the command, output to /dev/null.
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000 ))" | awk '{ printf "%.4f\n", $1 / 1e6 }'
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The yardstick's tables (table_S, table_M, table_L and the small ones) in $data, generated
# once by ../shared/bench/gen_table.py; needs `data` and `shared` set.
ensure_tables() {
    mkdir -p "$data"
    [[ -f "$data/table_L.tsv" ]] || python3 "$shared/bench/gen_table.py" "$data"
}
