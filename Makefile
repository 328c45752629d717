# The project's interface: `make package` builds everything and leaves the
# results in dist/; `make test` builds and runs every test.
# Both first install what a fresh Debian machine lacks.

NATIVE_BUILD := build/native
WIN_BUILD    := build/win64
JOBS         ?= $(shell nproc)
# The program image's ceiling in bytes (96 KiB); the test stub_size fails
# above it, `make package` prints the size.
STUB_SIZE_LIMIT := 98304

DEB_PACKAGES := cmake ninja-build g++ make libgtest-dev googletest \
	g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 \
	wine64 xvfb xdotool imagemagick x11-utils locales osslsigncode openssl

.PHONY: all package test deps native win64 clean bench deb

all: package

deps:
	@if ! dpkg -s $(DEB_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing build and test packages"; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $(DEB_PACKAGES); \
	fi

native: deps
	cmake -S . -B $(NATIVE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(NATIVE_BUILD) -j $(JOBS)

win64: deps
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  -DUPDPACK_TOOL=$(CURDIR)/$(NATIVE_BUILD)/tools/updpack
	cmake --build $(WIN_BUILD) -j $(JOBS)

package: native win64
	mkdir -p dist
	cp $(NATIVE_BUILD)/tools/updpack dist/updpack
	@if [ -f $(WIN_BUILD)/stub/updpack-stub.exe ]; then \
	  cp $(WIN_BUILD)/stub/updpack-stub.exe dist/updpack-stub.exe; \
	  bash tests/win32/check_size.sh dist/updpack-stub.exe $(STUB_SIZE_LIMIT) || true; \
	  dist/updpack diff examples/v1.0 examples/v1.1 \
	    --build dist/example-update.exe --stub dist/updpack-stub.exe; fi
	@ls -l dist

# dist/updpack_<version>_<arch>.deb: bin/updpack and share/updpack/ with the
# stub, for `apt-get install ./dist/updpack_*.deb`.
deb: package
	cmake -S . -B $(NATIVE_BUILD) -DUPDPACK_STUB_FILE=$(CURDIR)/dist/updpack-stub.exe
	rm -rf build/deb
	cd $(NATIVE_BUILD) && cpack -G DEB -B $(CURDIR)/build/deb
	cp build/deb/updpack_*.deb dist/
	@ls -l dist/*.deb

test: native win64
	cd $(NATIVE_BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(WIN_BUILD) && ctest --output-on-failure

bench: native
	bash bench/run.sh $(NATIVE_BUILD)/tools/updpack

clean:
	rm -rf build dist
