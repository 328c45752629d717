# The project's interface: `make package` builds everything and leaves the
# results in dist/; `make test` builds and runs every test, natively, under
# the address and undefined-behaviour sanitizers, and under Wine; `make fuzz`
# runs each fuzz target for FUZZ_SECONDS.
# All first install what a fresh Debian machine lacks.

NATIVE_BUILD := build/native
WIN_BUILD    := build/win64
ASAN_BUILD   := build/asan
FUZZ_BUILD   := build/fuzz
JOBS         ?= $(shell nproc)
# The program image's ceiling in bytes (112 KiB); the test stub_size fails
# above it, `make package` prints the size.
STUB_SIZE_LIMIT := 114688

SANITIZE     := -fsanitize=address,undefined -fno-sanitize-recover=undefined \
	-fno-omit-frame-pointer
# The sanitized programs link as fixed-address executables: a position-
# independent one spends a third of each start (most of a short tool run)
# applying half a million relocations, and the tool tests start it often.
SANITIZE_LINK := $(SANITIZE) -no-pie
FUZZ_TARGETS := extract catalog run script journal lzma verify script_text \
	image texts command_line codepage
FUZZ_SECONDS ?= 60
# A package with its archive and script takes a few KB.
FUZZ_MAX_LEN ?= 16384

DEB_PACKAGES := cmake ninja-build g++ make libgtest-dev googletest \
	g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 \
	wine64 xvfb xauth xdotool imagemagick x11-utils locales osslsigncode openssl \
	python3 python3-pefile lzma-dev

FUZZ_PACKAGES := clang libclang-rt-dev

.PHONY: all package test deps native win64 asan clean bench deb \
	fuzz-deps fuzz-build fuzz fuzz-merge

all: package

deps:
	@if ! dpkg -s $(DEB_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing build and test packages"; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $(DEB_PACKAGES); \
	fi

fuzz-deps: deps
	@if ! dpkg -s $(FUZZ_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing the fuzzing packages"; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $(FUZZ_PACKAGES); \
	fi

native: deps
	cmake -S . -B $(NATIVE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(NATIVE_BUILD) -j $(JOBS)

win64: deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  -DUPDPACK_TOOL=$(CURDIR)/$(NATIVE_BUILD)/tools/updpack
	cmake --build $(WIN_BUILD) -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_FLAGS="$(SANITIZE)" -DCMAKE_CXX_FLAGS="$(SANITIZE)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_LINK)"
	cmake --build $(ASAN_BUILD) -j $(JOBS)

package: native win64
	mkdir -p dist
	cp $(NATIVE_BUILD)/tools/updpack dist/updpack
	@if [ -f $(WIN_BUILD)/stub/updpack-stub.exe ]; then \
	  cp $(WIN_BUILD)/stub/updpack-stub.exe dist/updpack-stub.exe; \
	  bash tests/win32/check_size.sh dist/updpack-stub.exe $(STUB_SIZE_LIMIT) || true; \
	  dist/updpack diff examples/v1.0 examples/v1.1 \
	    --build dist/example-update.exe --stub dist/updpack-stub.exe && \
	  dist/updpack verify dist/example-update.exe; fi
	@ls -l dist

# dist/updpack_<version>_<arch>.deb: bin/updpack and share/updpack/ with the
# stub, for `apt-get install ./dist/updpack_*.deb`.
deb: package
	cmake -S . -B $(NATIVE_BUILD) -DUPDPACK_STUB_FILE=$(CURDIR)/dist/updpack-stub.exe
	rm -rf build/deb
	cd $(NATIVE_BUILD) && cpack -G DEB -B $(CURDIR)/build/deb
	cp build/deb/updpack_*.deb dist/
	@ls -l dist/*.deb

test: native asan win64
	cd $(NATIVE_BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The libFuzzer binaries, with clang, instrumented and sanitized.
fuzz-build: fuzz-deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DUPD_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS:%=%_fuzz) \
	  fuzz_confine

# Each target for FUZZ_SECONDS on a copy of its corpus in build/fuzz/corpus,
# so that what it finds stays out of fuzz/corpus until `make fuzz-merge`.
# Paths are absolute: the targets work in a sandbox as their current folder.
# Inputs that fail land in fuzz/crashes/. The targets run only confined, with
# nothing writable but their sandbox, corpus copy and fuzz/crashes.
CONFINE := $(FUZZ_BUILD)/fuzz/fuzz_confine
fuzz: fuzz-build
	@$(CONFINE) true || { echo "make fuzz: the fuzz targets run only" \
	  "confined, and no confinement can be had here" >&2; exit 1; }
	@mkdir -p fuzz/crashes; status=0; \
	for t in $(FUZZ_TARGETS); do \
	  work=$(CURDIR)/$(FUZZ_BUILD)/corpus/$$t; \
	  rm -rf $$work && mkdir -p $$work && cp fuzz/corpus/$$t/* $$work/; \
	  echo "== $${t}_fuzz for $(FUZZ_SECONDS) s"; \
	  case $$t in \
	    extract|catalog|run|verify) dict=package;; script|journal|script_text) dict=$$t;; \
	    *) dict=;; esac; \
	  $(CONFINE) -w $$work -w fuzz/crashes \
	    $(FUZZ_BUILD)/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -max_len=$(FUZZ_MAX_LEN) $${dict:+-dict=$(CURDIR)/fuzz/dict/$$dict.dict} \
	    -print_final_stats=1 -artifact_prefix=$(CURDIR)/fuzz/crashes/$$t- \
	    $$work || status=1; \
	done; exit $$status

# Runs the targets, then keeps in fuzz/corpus a small set of inputs
# that covers what the committed corpus and the new inputs cover together.
fuzz-merge: fuzz
	@for t in $(FUZZ_TARGETS); do \
	  merged=$(CURDIR)/$(FUZZ_BUILD)/merged/$$t; \
	  rm -rf $$merged && mkdir -p $$merged; \
	  $(CONFINE) -w $$merged $(FUZZ_BUILD)/fuzz/$${t}_fuzz -set_cover_merge=1 $$merged \
	    $(CURDIR)/fuzz/corpus/$$t $(CURDIR)/$(FUZZ_BUILD)/corpus/$$t || exit 1; \
	  rm -rf fuzz/corpus/$$t && cp -r $$merged fuzz/corpus/$$t; \
	done

bench: native
	bash bench/run.sh $(NATIVE_BUILD)/tools/updpack

clean:
	rm -rf build dist
