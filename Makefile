# The README's commands. `make test` installs what it needs, builds both hosts and runs every test.
CMD ?= install
SHIFT ?= 0
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
MACHINE ?= build/machine

.PHONY: test run windows deps linux asan sign sanitize faults e2e bench clean

deps:
	@scripts/install-deps.sh

linux: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build -j $(JOBS)

windows: deps
	@cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-windows -j $(JOBS)

# The plain build's tests, then the unit and scenario tests and the sweep's bad packages and
# hostile machines again under AddressSanitizer and UBSan (`asan`); the sweep's long tables run
# there with `make faults`, which keeps CI within its time.
test: linux windows asan
	@cd build && ctest --output-on-failure -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) -E '^(windows|bench|e2e|cli)[.]|^faults[.](reinstall|uninstall)$$'

# Signs build-windows/bin/install.exe in place with the PKCS#12 file SIGN_PFX (password SIGN_PASS),
# timestamped by the RFC 3161 server SIGN_TIMESTAMP names, if any (scripts/sign.sh).
sign: windows
	@scripts/sign.sh build-windows/bin/install.exe

# The tests' programs built with AddressSanitizer and UBSan, in build-asan/.
asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
	@cmake --build build-asan -j $(JOBS) --target unit_tests fault_sweep

# Every Linux test again under AddressSanitizer and UBSan.
sanitize: asan
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) -E windows

# The fault sweep under AddressSanitizer and UBSan: every platform call and allocation of an
# install, an uninstall and a reinstall failed once, then 200 random upgrade machines
# (FAULTS_SEED, FAULTS_COUNT change them). Its last line counts what went wrong.
faults: asan
	@build-asan/bin/fault_sweep

# Runs the Linux program on a fresh default machine (kept in $(MACHINE) for a look afterwards,
# the machine before it in $(MACHINE).before) and shows what the command changed. SHIFT=1 holds
# Shift, so that the log is shown.
run: linux
	@rm -rf $(MACHINE) $(MACHINE).before
	@build/bin/winsim new --machine $(MACHINE).before && cp -R $(MACHINE).before $(MACHINE)
	@WINSIM_SHIFT=$(SHIFT) WINSIM_MACHINE=$(MACHINE) build/bin/install $(CMD); echo "exit code: $$?"
	@build/bin/winsim diff $(MACHINE).before $(MACHINE)

# Every end-to-end scenario on Wine 8 and on winsim, compared (not part of `test`, which runs the
# winsim half alone).
e2e: linux windows
	@scripts/install-wine.sh
	@tests/e2e/dll_planting.sh
	@tests/e2e/run.sh

# The benchmarks, optimised (build/ is a debug build, whose timings would mislead); not part of
# `test`, which only runs each once. BENCH_ARGS passes Google Benchmark flags, e.g.
# BENCH_ARGS=--benchmark_filter=Reinstall. GCC 12 warns falsely (-Wrestrict) about std::string
# inside winsim once it optimises.
bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
	@cmake --build build-bench -j $(JOBS) --target install_bench
	@build-bench/bin/install_bench $(BENCH_ARGS)

clean:
	rm -rf build build-windows build-asan build-e2e build-e2e-planting build-bench
