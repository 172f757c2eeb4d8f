# Shared by the scripts: installs what is missing with apt (scripts/lib/apt.sh:
# retried, and going on past an index that a mirror in the middle of a sync
# fails to give), and decides which Windows build the Wine bench can run
# here. Source it from the repository root.
. scripts/lib/apt.sh

ensure_build_tools() {
    ensure_packages cmake make g++ binutils libgtest-dev libssl-dev openssl g++-mingw-w64-i686
}

# Sets WINDOWS_PRESET (the Windows build the bench runs) and WINE_LOADER,
# then installs what the bench needs; returns non-zero, having said what it
# could not install, when some of it is missing.
# The product is always the 32-bit build; where the kernel cannot run 32-bit
# code at all, Wine runs the same sources built for x86-64 instead.
ensure_wine_bench() {
    if scripts/lib/can_run_i386.sh; then
        WINDOWS_PRESET=win32
        WINE_LOADER=/usr/lib/wine/wine
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
            apt_updated=no
        fi
        ensure_packages xvfb wine wine32:i386 || return 1
    else
        WINDOWS_PRESET=win64
        WINE_LOADER=/usr/lib/wine/wine64
        echo "This kernel does not run 32-bit code: the Wine bench runs the x86-64 build of the same sources."
        ensure_packages xvfb wine wine64 g++-mingw-w64-x86-64 || return 1
    fi
}

# The locales whose code pages the Wine tests run the product under: Wine
# takes the system code page from LC_ALL when a process starts (ru_RU gives
# 1251, el_GR 1253, ja_JP 932), but only for a locale the host has generated.
ensure_test_locales() {
    ensure_packages locales
    local wanted=(ru_RU.UTF-8 el_GR.UTF-8 ja_JP.UTF-8) missing=() locale
    for locale in "${wanted[@]}"; do
        locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}" || missing+=("$locale")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Generating locales: ${missing[*]}"
    for locale in "${missing[@]}"; do
        grep -qx "$locale UTF-8" /etc/locale.gen 2>/dev/null || echo "$locale UTF-8" >>/etc/locale.gen
    done
    locale-gen >/dev/null
}

# Configures and builds a preset with warnings as errors.
build_preset() {
    local preset=$1
    shift
    cmake --preset "$preset" -DULV_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

# Runs the Wine tests against the 32-bit product (build/win32) inside a
# virtual machine whose kernel runs 32-bit code (scripts/vm32/: QEMU with
# software emulation over this machine's own files), for hosts that cannot
# run it themselves. The tests are built here; nothing is compiled inside.
# Upper limits on time scale with ULV_VM32_TIME_FACTOR (default 10). Prints
# one line: "Wine, 32-bit product in a VM: N passed" and what it cost.
# The machine is set up once, by COMMAND... (scripts/vm32/setup.sh, or a
# command that runs it) with VM32_DIR set. If it cannot be set up (a package
# or the kernel that no mirror gives now), says so in one loud line with the
# reason, and returns 0: the same sources ran under Wine as x86-64 before.
run_wine_tests_in_vm() {  # [SET-UP COMMAND...]
    local factor=${ULV_VM32_TIME_FACTOR:-10} vm=$PWD/build/vm32 build=$PWD/build/posix-vm32 start=$SECONDS
    local setup_log=$PWD/build/vm32-setup.log
    if [ ! -x "$vm/run-in-vm.sh" ]; then
        echo "Setting up the virtual machine (once): scripts/vm32/setup.sh (log: $setup_log)"
        [ $# -gt 0 ] || set -- scripts/vm32/setup.sh
        if ! VM32_DIR=$vm "$@" >"$setup_log" 2>&1; then
            echo "!!!!! NOT TESTED: the 32-bit product in its virtual machine, which could not be set up:" \
                 "$(grep -v '^ *$' "$setup_log" | tail -1) (log: $setup_log) !!!!!"
            return 0
        fi
        grep 'apt moved' "$setup_log" || true
    fi
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULV_WARNINGS_AS_ERRORS=ON \
          -DULV_WINE_WINDOWS_BUILD="$PWD/build/win32" -DULV_WINE_LOADER=/usr/lib/wine/wine \
          -DULV_WINE_TIME_FACTOR="$factor" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target wine_tests ulvpack >/dev/null
    local setup=$((SECONDS - start)) rc=0
    "$vm/run-in-vm.sh" "ctest --test-dir '$build' -L wine --output-on-failure" >"$build/vm32.log" 2>&1 || rc=$?
    local passed failed
    passed=$(grep -c 'Test *#[0-9]*: .* Passed' "$build/vm32.log" || true)
    failed=$(grep -c 'Test *#[0-9]*: .*\*\*\*' "$build/vm32.log" || true)
    echo "Wine, 32-bit product in a VM: $passed passed, $failed failed (set-up and build ${setup} s, run $((SECONDS - start - setup)) s; log: $build/vm32.log)"
    [ "$rc" -eq 0 ] || { grep -E 'Failed|\*\*\*|vm32:' "$build/vm32.log" | tail -20; return 1; }
}
