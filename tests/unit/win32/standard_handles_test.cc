// On Windows the process's standard handles must follow the exchanged
// descriptors, so that whatever writes through the handles lands where the
// descriptors now point.
#include <io.h>
#include <windows.h>

#include "cli/streams.h"
#include "test_support.h"

namespace {

TEST(SwapStandardStreams, StandardHandlesFollowTheDescriptors) {
  Output o = Capture([] {
    SwapStandardStreams();
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), reinterpret_cast<HANDLE>(_get_osfhandle(1)));
    EXPECT_EQ(GetStdHandle(STD_ERROR_HANDLE), reinterpret_cast<HANDLE>(_get_osfhandle(2)));
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "to-output-handle", 16, &written, nullptr);
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "to-error-handle", 15, &written, nullptr);
  });
  EXPECT_EQ(o.err, "to-output-handle");
  EXPECT_EQ(o.out, "to-error-handle");
}

}  // namespace
