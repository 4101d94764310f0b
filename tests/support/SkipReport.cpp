// Tells ctest that tests were skipped. A test that cannot run here (no sound
// device, ...) calls GTEST_SKIP; when the program ends with skipped tests
// and no failure, this prints the line ctest's SKIP_REGULAR_EXPRESSION looks
// for (tests/CMakeLists.txt), so the entry shows as skipped, not passed. It
// is printed only without a failure: ctest would take the line over a
// failing exit code.
//
// With QX_SKIP_NOTE set (a file), the line goes there instead, for a script
// that runs the program several times and decides once (dpi/run_at_dpis.sh).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

class SkipReport : public ::testing::EmptyTestEventListener {
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override
    {
        if (unit.skipped_test_count() == 0 || unit.failed_test_count() != 0 || !unit.Passed())
            return;
        const char* note = std::getenv("QX_SKIP_NOTE");
        FILE* out = note && *note ? std::fopen(note, "a") : nullptr;
        std::fprintf(out ? out : stdout, "[qx] tests skipped: %d of %d, none failed\n",
                     unit.skipped_test_count(), unit.total_test_count());
        if (out)
            std::fclose(out);
        else
            std::fflush(stdout);
    }
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SkipReport);
    return true;
}();

}  // namespace
