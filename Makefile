# The two everyday commands:  make run  (set up, build, fetch a file from the demo BBS)
# and  make test.
BUILD ?= build
JOBS ?= 2
FILE ?= DEMO.ZIP

.PHONY: setup build run test test-sanitize clean

setup:
	@scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	BUILD=$(abspath $(BUILD)) scripts/demo.sh $(FILE)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: setup
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DZORV_SANITIZE=ON -DZORV_BENCH=OFF >/dev/null
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS) -L unit

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize
