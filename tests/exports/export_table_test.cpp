// The table itself: every export is there (in the DLL, by name and ordinal
// alike, which the table checked while loading).
#include "exports/export_test.h"

TEST(ExportTable, AllSevenExportsArePresent) {
    const ExportTable& table = api();
    EXPECT_NE(table.blobInit, nullptr);
    EXPECT_NE(table.blobClear, nullptr);
    EXPECT_NE(table.blobCopy, nullptr);
    EXPECT_NE(table.hashBuffer, nullptr);
    EXPECT_NE(table.verifySignature, nullptr);
    EXPECT_NE(table.uuEncode, nullptr);
    EXPECT_NE(table.uuDecode, nullptr);
}

TEST(ExportTable, LastErrorIsTheThreadsOwn) {
    api().setLastError(0x1234);
    EXPECT_EQ(api().getLastError(), 0x1234u);
    api().setLastError(0);
}
