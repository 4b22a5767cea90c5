# make demo   installs what is missing, builds, and runs Setup.exe under Wine on examples/demo
# make test   installs what is missing, builds everything and runs every test
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
# ccache, where it is installed, shares compiled objects between builds and work trees.
CCACHE := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
LAUNCH = -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE)
endif
CMAKE_GEN = -G "Unix Makefiles" $(LAUNCH) -DCMAKE_BUILD_TYPE

.PHONY: all deps build native win32 win64 testbuild fuzzbuild test demo bench clean

all: build

deps:
	@bash tools/deps.sh

native: deps
	@cmake -S . -B build/native $(CMAKE_GEN)=RelWithDebInfo >/dev/null
	@cmake --build build/native -j $(JOBS)

win32: deps
	@cmake -S . -B build/win32 $(CMAKE_GEN)=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build build/win32 -j $(JOBS)

win64: deps
	@cmake -S . -B build/win64 $(CMAKE_GEN)=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build build/win64 -j $(JOBS)

build: native win32 win64

fuzzbuild: deps
	@cmake -S . -B build/fuzz $(CMAKE_GEN)=RelWithDebInfo -DSETUP_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build build/fuzz -j $(JOBS)

testbuild: build fuzzbuild
	@cmake -S . -B build/test $(CMAKE_GEN)=Debug -DSETUP_TESTS=ON -DSETUP_SANITIZE=ON \
	  -DSETUP_WIN32_EXE=$(CURDIR)/build/win32/Setup.exe -DSETUP_WIN64_EXE=$(CURDIR)/build/win64/Setup.exe \
	  -DSETUP_FUZZ_DIR=$(CURDIR)/build/fuzz >/dev/null
	@cmake --build build/test -j $(JOBS)

test: testbuild
	@cd build/test && ctest --output-on-failure -j $(JOBS)

demo: build
	@bash tools/demo.sh

bench: win32
	@bash tools/deps.sh bench
	@cmake -S . -B build/bench $(CMAKE_GEN)=Release -DSETUP_BENCH=ON >/dev/null
	@cmake --build build/bench -j $(JOBS)
	@bash bench/run.sh

clean:
	rm -rf build
