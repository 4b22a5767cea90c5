# make demo   installs what is missing, builds, and runs Setup.exe under Wine on examples/demo
# make test   installs what is missing, builds everything and runs every test
# make install [PREFIX=/usr/local] [DESTDIR=]   builds and installs the native program, both
#             Setup.exe builds, the manual, the script reference and the man page setup(1)
# make deb    the same as a Debian package, installing under /usr: build/deb/setup_*.deb
# make unit   the fast loop: builds and runs the native unit tests only (mingw only for
#             the PE files they read; no Wine)
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
# ccache, where it is installed, shares compiled objects between builds and work trees.
CCACHE := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
LAUNCH = -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE)
endif
# Warnings are errors in every build made here, as in CI.
CMAKE_GEN = -G "Unix Makefiles" $(LAUNCH) -DSETUP_WERROR=ON -DCMAKE_BUILD_TYPE

.PHONY: all deps deps-native pe-fixtures build native win32 win64 testbuild fuzzbuild test unit demo bench clean install deb

all: build

deps:
	@bash tools/deps.sh

deps-native:
	@bash tools/deps.sh --native

native: deps
	@cmake -S . -B build/native $(CMAKE_GEN)=RelWithDebInfo >/dev/null
	@cmake --build build/native -j $(JOBS)

# Setup.exe is built for size: it is also the loader every packed installer carries
# whole (a third smaller than at -O3); the LZMA decoder keeps -O2.
win32: deps
	@cmake -S . -B build/win32 $(CMAKE_GEN)=MinSizeRel -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build build/win32 -j $(JOBS)

win64: deps
	@cmake -S . -B build/win64 $(CMAKE_GEN)=MinSizeRel -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build build/win64 -j $(JOBS)

build: native win32 win64

PREFIX ?= /usr/local
WIN_EXES = -DSETUP_WIN32_EXE=$(CURDIR)/build/win32/Setup.exe -DSETUP_WIN64_EXE=$(CURDIR)/build/win64/Setup.exe

install: build
	@cmake -S . -B build/native $(CMAKE_GEN)=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(WIN_EXES) >/dev/null
	@cmake --build build/native -j $(JOBS)
	@DESTDIR="$(DESTDIR)" cmake --install build/native

deb: win32 win64
	@cmake -S . -B build/deb $(CMAKE_GEN)=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr $(WIN_EXES) >/dev/null
	@cmake --build build/deb -j $(JOBS)
	@cd build/deb && cpack -G DEB >/dev/null
	@ls build/deb/*.deb

fuzzbuild: deps
	@cmake -S . -B build/fuzz $(CMAKE_GEN)=RelWithDebInfo -DSETUP_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build build/fuzz -j $(JOBS)

testbuild: build fuzzbuild
	@cmake -S . -B build/test $(CMAKE_GEN)=Debug -DSETUP_TESTS=ON -DSETUP_SANITIZE=ON \
	  -DSETUP_WIN32_EXE=$(CURDIR)/build/win32/Setup.exe -DSETUP_WIN64_EXE=$(CURDIR)/build/win64/Setup.exe \
	  -DSETUP_WIN32_FIXTURES=$(CURDIR)/build/win32/tests/fixtures \
	  -DSETUP_WIN64_FIXTURES=$(CURDIR)/build/win64/tests/fixtures \
	  -DSETUP_FUZZ_DIR=$(CURDIR)/build/fuzz >/dev/null
	@cmake --build build/test -j $(JOBS)

test: testbuild
	@cd build/test && ctest --output-on-failure -j $(JOBS)

# The PE files the version reader's unit tests read, from both mingw builds, and only
# those: the programs and the other fixtures wait for `make build`.
pe-fixtures: deps-native
	@test -f build/win32/CMakeCache.txt || cmake -S . -B build/win32 $(CMAKE_GEN)=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@test -f build/win64/CMakeCache.txt || cmake -S . -B build/win64 $(CMAKE_GEN)=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build build/win32 -j $(JOBS) --target version_fixtures >/dev/null
	@cmake --build build/win64 -j $(JOBS) --target version_fixtures >/dev/null

# Configured once; later runs rebuild only what changed and rerun the suite.
unit: deps-native pe-fixtures
	@test -f build/unit/CMakeCache.txt || cmake -S . -B build/unit $(CMAKE_GEN)=Debug \
	  -DSETUP_TESTS=ON -DSETUP_SANITIZE=ON >/dev/null
	@cmake --build build/unit -j $(JOBS) --target unit_tests
	@build/unit/tests/unit_tests --gtest_brief=1
	@python3 -B tests/layering_check.py
	@bash tools/format_check.sh

demo: build
	@bash tools/demo.sh

bench: win32
	@bash tools/deps.sh bench
	@cmake -S . -B build/bench $(CMAKE_GEN)=Release -DSETUP_BENCH=ON >/dev/null
	@cmake --build build/bench -j $(JOBS)
	@bash bench/run.sh

clean:
	rm -rf build
