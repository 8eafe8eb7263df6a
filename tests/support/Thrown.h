#pragma once
// The message of the exception a call raises, for one-line checks of
// refusals: EXPECT_EQ(thrownMessage<FileError>([&] { f(); }), "Cannot open ...").
#include <QString>

namespace lb::test {

// E's message when f() raises an E; a text no message has when it raises nothing.
template <typename E, typename F> QString thrownMessage(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace lb::test
