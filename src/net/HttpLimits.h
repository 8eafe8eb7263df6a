#pragma once
// Every limit the network layer and the page fetchers put on what a server
// sends, in one place. A server on the web can send anything; these keep
// memory and time bounded whatever it does.
#include <QtGlobal>

namespace lb::net::limits {

// An answer header larger than this in all, or with more lines, aborts the
// request ("HTTP header too large"). Counted from the status line through
// the blank line that ends the header, line ends included.
inline constexpr qint64 kMaxHeaderBytes = 256 * 1024;
inline constexpr int kMaxHeaderLines = 1000;

// A fetch that keeps a page in memory (spider, source viewer, META creator,
// FFA crawler, extractor) stops reading it here.
inline constexpr qint64 kMaxPageBytes = 32 * 1024 * 1024;

// The engine health check keeps this much of each submission page: it holds
// hundreds of pages at once, and a form lies near the top of its page.
inline constexpr qint64 kMaxCheckedPageBytes = 256 * 1024;

// A TCP connect that is not established by then fails with 10060, as the
// stack the program was first written for gives up after about 21 s.
inline constexpr int kConnectTimeoutMs = 21 * 1000;

} // namespace lb::net::limits
