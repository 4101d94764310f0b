// What the fuzz targets share: the entry point every target defines and the
// check that stops the run on a broken invariant.
//
// How it works
// - Each target (one per parser) is LLVMFuzzerTestOneInput. Built with
//   -fsanitize=fuzzer it is a libFuzzer program (scripts/fuzz); linked with
//   replay_main.cpp it is a plain program that feeds it every file of the
//   folders it is given (the corpus and the crashes kept), for the suite.
// - FUZZ_CHECK names the broken rule and calls abort(), which libFuzzer
//   reports as a crash and keeps the input, and which fails the replay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define FUZZ_CHECK(condition, what)                                                  \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: broken rule: %s (%s)\n", __FILE__, __LINE__, \
                         what, #condition);                                          \
            std::abort();                                                            \
        }                                                                            \
    } while (0)
