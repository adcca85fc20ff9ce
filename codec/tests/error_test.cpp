// The user-visible texts of error codes: codec codes keep their exact wording, system codes come
// from the system, and nothing outside the table is ever dereferenced.
#include "qvt_error.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

TEST(ErrorText, FixedCodecMessagesSystemTextsAndUnknownCodes) {
    EXPECT_EQ(ErrorMessageForCode(ErrorShortRead), "QVT error: expected data cannot be read");
    EXPECT_EQ(ErrorMessageForCode(ErrorOutOfMemory),
              "QVT error: memory allocation was not successfull");
    EXPECT_STREQ(CodecErrorText(ErrorNone), "no error");
    EXPECT_STREQ(CodecErrorText(ErrorPng), "errors in png functions");
    EXPECT_EQ(ErrorMessageForCode(ENOENT), std::strerror(ENOENT));
    EXPECT_EQ(CodecErrorText(ENOENT), nullptr);
    EXPECT_EQ(CodecErrorText(ErrorShortRead + 1), nullptr);
    EXPECT_EQ(ErrorMessageForCode(0x2000ffff), "QVT error: unknown error 0x2000ffff");
}
