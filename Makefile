# tolbrik: the two commands first (make demo, make test), then the rest.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

PREFIX ?= /usr/local

.PHONY: all build demo test bench windows fuzz mutate install package clean

all: build

build:
	@scripts/need.sh cmake cmake g++ g++ googletest libgtest-dev /usr/include/zlib.h zlib1g-dev \
	  /usr/include/mspack.h libmspack-dev
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# Converts the bundled examples/ tree into out/ (classic) and out-modern/ (-modern) and
# compiles the help file in each.
demo: build
	scripts/demo.sh $(BUILD)/tolbrik

# Every test suite: unit and end-to-end tests, then each suite under tests/suites/.
test: build
	scripts/test.sh $(BUILD)

bench:
	@scripts/bench.sh

windows:
	scripts/windows.sh

# The program, its manual page and the README under PREFIX (with DESTDIR before it, for
# staged installs).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same files, installed under /usr: build/tolbrik_<version>_<arch>.deb.
package: build
	@scripts/need.sh dpkg-shlibdeps dpkg-dev
	cd $(BUILD) && { cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }; }
	@ls $(BUILD)/tolbrik_*.deb

fuzz:
	scripts/fuzz.sh

# Single-edit mutants of the product code, each rebuilt in build-mutate/ and run against
# the tests: SEED and COUNT choose them (scripts/mutate.py --help for the rest).
SEED ?= 1
COUNT ?= 60
mutate:
	scripts/mutate.py --seed $(SEED) --count $(COUNT) $(MUTATE_ARGS)

clean:
	rm -rf $(BUILD) build-* out out-modern
