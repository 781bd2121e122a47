# The README's commands. `make test` installs what it needs, builds both hosts and runs every test.
CMD ?= install
SHIFT ?= 0
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
MACHINE ?= build/machine

.PHONY: test run windows deps linux sanitize e2e bench clean

deps:
	@scripts/install-deps.sh

linux: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build -j $(JOBS)

windows: deps
	@cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-windows -j $(JOBS)

test: linux windows
	@cd build && ctest --output-on-failure -j $(JOBS)

# The Linux tests again under AddressSanitizer and UBSan.
sanitize: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) -E windows

# Runs the Linux program on a fresh default machine (kept in $(MACHINE) for a look afterwards,
# the machine before it in $(MACHINE).before) and shows what the command changed. SHIFT=1 holds
# Shift, so that the log is shown.
run: linux
	@rm -rf $(MACHINE) $(MACHINE).before
	@build/bin/winsim new --machine $(MACHINE).before && cp -R $(MACHINE).before $(MACHINE)
	@WINSIM_SHIFT=$(SHIFT) WINSIM_MACHINE=$(MACHINE) build/bin/install $(CMD); echo "exit code: $$?"
	@build/bin/winsim diff $(MACHINE).before $(MACHINE)

# The Windows build and the stand-in components under Wine 8, in a fresh prefix (not part of `test`).
e2e: windows
	@scripts/install-wine.sh
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
	rm -rf build build-windows build-asan build-e2e build-bench
