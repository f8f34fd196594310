# Shared by the update benchmarks (sourced, not run).

# update_bench_package PKG BUILD JRE JRE_VERSION: fills PKG with what `ferrolan-pack build` and
# `publish` take, and writes PKG/bench.json: "Bench App" (version 1) whose main class is the
# bench class (it prints the wall-clock time it was reached and returns), the updater as it ships
# (version 1), and the runtime folder JRE as jre17 at JRE_VERSION. No heap sizes and no options,
# so the application runs in the updater's virtual machine. The update URL is the Params
# `update_url` ("D"), which `ferrolan-pack stamp` sets per launcher; the key is PKG/key.
update_bench_package() {
  local pkg=$1 build=$2 jre=$3 version=$4
  rm -rf "$pkg/updater" "$pkg/app"
  mkdir -p "$pkg/updater" "$pkg/app"
  cp "$build/java/ferrolan-updater.jar" "$pkg/updater/"
  cp "$build/java/ferrolan-bench.jar" "$pkg/app/"
  [ -e "$pkg/key.private.der" ] || "$build/bin/ferrolan-pack" keygen -o "$pkg/key" >/dev/null
  cat >"$pkg/bench.json" <<JSON
{
  "launcher": "$build/bin/ferrolan-ship",
  "app_name": "Bench App",
  "install_type": "perm_all",
  "update_url": "D",
  "required_java_version": 11,
  "key": "key.private.der",
  "updater": { "version": "1", "folder": "updater", "main_class": "com.ferrolan.updater.Updater" },
  "jre": { "name": "jre17", "version": "$version", "folder": "$jre" },
  "app": { "version": "1", "folder": "app", "main_class": "com.ferrolan.bench.BenchMain" },
  "params": { "jre_name": "jre17" }
}
JSON
}

# The median of the numbers given (the mean of the middle two of an even count).
median() {
  printf '%s\n' "$@" | sort -g |
    awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); print (NR % 2) ? v[m] : (v[m] + v[m + 1]) / 2 }'
}
