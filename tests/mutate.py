#!/usr/bin/env python3
"""One-line faults against the test suite.

Each mutant replaces one piece of text in one source file, builds, runs the
test programs until one fails (the one most likely to fail first), and puts
the file back. A mutant that no test program notices has run them all.

    tests/mutate.py [--build build/normal] [--only ID,ID] [--out FILE]

Prints one row per mutant: id, killed/survived, the test program that
failed. Run it niced on a shared machine: nice -n 10 tests/mutate.py

A test program whose bytes the fault did not change, and which starts no
program the fault changed (linkbeacon-cli, linkbeacon), runs exactly as on
the unchanged tree, where it passed; it is not run again.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# id, file, text, replacement, occurrence (0: the only one), test program to try first
MUTANTS = [
    ("colour-hex-six", "src/source/ColorRule.cpp",
     "hex.size() > 6)", "hex.size() > 7)", 0, "source"),
    ("colour-keyword-colours", "src/source/ColorRule.cpp",
     "distinct.size() < kMaxKeywordColours", "distinct.size() <= kMaxKeywordColours", 0, "source"),
    ("colour-token-entries", "src/source/ColorRule.cpp",
     "if (out.size() >= kMaxTokenEntries)", "if (out.size() > kMaxTokenEntries)", 1, "source"),
    ("source-proxy", "src/source/SourceViewer.cpp",
     "m_http.Proxy = proxy.host;", "m_http.Proxy = QString();", 0, "source"),
    ("meta-proxy-port", "src/meta/MetaCreator.cpp",
     "m_http.ProxyPort = proxy.port;", "m_http.ProxyPort = QStringLiteral(\"80\");", 0, "meta"),
    ("meta-status-400", "src/meta/MetaCreator.cpp",
     "m_http.StatusCode() < 400", "m_http.StatusCode() <= 400", 0, "meta"),
    ("indexnow-proxy", "src/indexnow/IndexNow.cpp",
     "client->Proxy = proxy.host;", "client->Proxy = QString();", 0, "indexnow"),
    ("indexnow-proxy-user", "src/indexnow/IndexNow.cpp",
     "client->ProxyUsername = proxy.userName;", "client->ProxyUsername = QString();", 0, "indexnow"),
    ("indexnow-key-128", "src/indexnow/IndexNow.cpp",
     "key.size() > 128", "key.size() > 129", 0, "indexnow"),
    ("indexnow-key-8", "src/indexnow/IndexNow.cpp",
     "key.size() < 8 ", "key.size() < 7 ", 0, "indexnow"),
    ("indexnow-json-control", "src/indexnow/IndexNow.cpp",
     "if (c < 0x20) {", "if (c < 0x1F) {", 0, "indexnow"),
    ("spider-link-100", "src/spider/Spider.cpp",
     "link.size() >= 100)", "link.size() > 100)", 0, "spider"),
    ("spider-session-all", "src/spider/Spider.cpp",
     "        from = at + 1;\n", "        from = text.size();\n", 0, "spider"),
    ("spider-keyword-blank", "src/spider/Spider.cpp",
     "kept.size() > 2 &&", "kept.size() > 1 &&", 0, "spider"),
    ("ffa-proxy-port", "src/ffa/FfaCrawler.cpp",
     "proxy.port.isEmpty() ? QStringLiteral(\"80\") : proxy.port", "QStringLiteral(\"80\")", 0,
     "ffa"),
    ("ffa-link-100", "src/ffa/FfaCrawler.cpp",
     "link.size() >= 100 ||", "link.size() > 100 ||", 0, "ffa"),
    ("ffa-page-size", "src/ffa/FfaCrawler.cpp",
     "if (limit < received ||", "if (limit <= received ||", 0, "ffa"),
    ("ffa-page-proxy", "src/ffa/FfaCrawler.cpp",
     "for (net::THttpCli* c : {m_http1, m_http2}) {", "for (net::THttpCli* c : {m_http2}) {", 1,
     "ffa"),
    ("ffa-bar-escape", "src/ffa/FfaList.cpp",
     "line += value.replace(QLatin1Char('|'), QLatin1String(\"%7C\"));", "line += value;", 0,
     "ffa"),
    ("ffa-fix-order", "src/ffa/FfaForm.cpp",
     "{\"Business\", \"Miscellaneous\", \"Other\"}", "{\"Miscellaneous\", \"Business\", \"Other\"}",
     0, "ffa"),
    ("ffa-cat-order", "src/ffa/FfaForm.cpp",
     "allOccur(offered, kCat3)", "allOccur(offered, kCat1)", 0, "ffa"),
    ("analyser-action-3", "src/extractor/FormAnalyser.cpp",
     "action.size() > 3 &&", "action.size() >= 3 &&", 0, "extractor"),
    ("analyser-cat-order", "src/extractor/FormAnalyser.cpp",
     "item = 2;", "item = 1;", 0, "extractor"),
    ("analyser-sister-www", "src/extractor/FormAnalyser.cpp",
     "host = www + b;", "host = b;", 0, "extractor"),
    ("extractor-address-10", "src/extractor/AutoExtractor.cpp",
     "address.size() < 10", "address.size() < 9", 0, "extractor"),
    ("extractor-address-ten", "src/extractor/AutoExtractor.cpp",
     "address.size() < 10", "address.size() < 11", 0, "extractor"),
    ("qdb-key-255", "src/liststore/QDB.cpp",
     "keyBytes.size() > 255", "keyBytes.size() > 256", 0, "liststore"),
    ("qdb-key-bytes", "src/liststore/QDB.cpp",
     "keyBytes.isEmpty() || keyBytes.size() > 255", "keyBytes.isEmpty() || key.size() > 255", 0,
     "liststore"),
    ("qdb-entry-bounds", "src/liststore/QDB.cpp",
     "entry(int i) const {\n    if (i < 0 || i >= count())",
     "entry(int i) const {\n    if (i < 0 || i > count())", 0, "liststore"),
    ("ini-eq-first", "src/common/IniFile.cpp",
     "if (eq <= 0 ||", "if (eq < 0 ||", 0, "common"),
    ("csv-quote-escape", "src/submit/ReportWriter.cpp",
     "quoted.replace(QLatin1Char('\"'), QStringLiteral(\"\\\"\\\"\"));", "", 0, "submit"),
    ("batch-status-404", "src/submit/BatchPass.cpp",
     "m_batchStatusCode >= 404", "m_batchStatusCode > 404", 0, "submit"),
    ("rar-size-bound", "src/update/TRAR.cpp",
     "total + std::uint64_t(n) > header.UnpSize", "total + std::uint64_t(n) > header.UnpSize + 1",
     0, "update"),
    ("rar-special-entries", "src/update/TRAR.cpp",
     "parts.isEmpty() || (!isDir && !isRegular))) {", "parts.isEmpty())) {", 0, "update"),
    ("update-max-bytes", "src/update/Updater.cpp",
     "c->ReceivedCount() > maxBytes", "c->ReceivedCount() > maxBytes + 1", 0, "update"),
    ("names-remove-bounds", "src/common/NameListModel.cpp",
     "row + n > count()", "row + n > count() + 1", 0, "common"),
    ("reports-back-first", "src/reports/ReportBrowser.cpp",
     "Direction::Back && index > 0", "Direction::Back && index >= 0", 0, "reports"),
    ("session-select-bounds", "src/sessions/SessionStore.cpp",
     "void SessionStore::select(int row) {\n    if (row < 0 || row >= m_sesList.count())",
     "void SessionStore::select(int row) {\n    if (row < 0 || row > m_sesList.count())", 0,
     "sessions"),
    ("http-header-bytes", "src/net/HttpProt.cpp",
     "headerSize_ > limits::kMaxHeaderBytes ||", "headerSize_ > limits::kMaxHeaderBytes + 1 ||", 0,
     "net"),
    ("http-header-lines", "src/net/HttpProt.cpp",
     "++headerLineCount_ > limits::kMaxHeaderLines)",
     "++headerLineCount_ > limits::kMaxHeaderLines + 1)", 0, "net"),
    ("http-redirect-20", "src/net/HttpProt.cpp",
     "++redirections_ > kMaxRedirections", "++redirections_ >= kMaxRedirections", 0, "net"),
    ("http-length-digits", "src/net/HttpProt.cpp",
     "n.size() <= 18 &&", "n.size() <= 17 &&", 0, "net"),
    ("url-v6-brackets", "src/net/HttpProt.cpp",
     "parts.host = authority.mid(open + 1, close - open - 1);",
     "parts.host = authority.mid(open, close - open);", 0, "net"),
    ("location-port-443", "src/net/HttpProt.cpp",
     "port_ = tls_ ? QStringLiteral(\"443\") : QStringLiteral(\"80\");",
     "port_ = QStringLiteral(\"80\");", 0, "net"),
    ("audit-title-max", "src/audit/AuditIssues.cpp",
     "characterCount(page.title) > kTitleMaxLength", "characterCount(page.title) >= kTitleMaxLength",
     0, "audit"),
    ("audit-h1-count", "src/audit/AuditIssues.cpp",
     "page.h1Count > 1", "page.h1Count > 2", 0, "audit"),
    ("audit-port-65535", "src/audit/AuditUrl.cpp",
     "n > 65535", "n > 65536", 0, "audit"),
    ("engines-redirects", "src/engines/EngineCheck.cpp",
     "p->hops >= kMaxRedirects", "p->hops > kMaxRedirects", 0, "engines"),
    ("engines-status-400", "src/engines/EngineCheck.cpp",
     "    if (p->status >= 400)", "    if (p->status > 400)", 0, "engines"),
    ("audit-description-max", "src/audit/AuditIssues.cpp",
     "characterCount(page.description) > kDescriptionMaxLength",
     "characterCount(page.description) >= kDescriptionMaxLength", 0, "audit"),
    ("audit-proxy", "src/audit/SiteAudit.cpp",
     "client->Proxy = m_options.proxyHost;", "client->Proxy = QString();", 0, "audit"),
    ("engines-proxy", "src/engines/EngineCheck.cpp",
     "c->Proxy = m_proxy.host;", "c->Proxy = QString();", 0, "engines"),
    ("cli-fetch-timeout", "src/cli/FetchCommand.cpp",
     "if (timeoutSeconds > 0)", "if (timeoutSeconds < 0)", 0, "net"),
    ("cli-ffa-keeps-list", "src/cli/FfaCommand.cpp",
     "if (created != listPath && QFileInfo::exists(created)) {", "if (false) {", 0, "ffa"),
    ("cli-spider-timeout", "src/cli/SpiderCommand.cpp",
     "spider.setTimeoutSeconds(timeout);", "spider.setTimeoutSeconds(60);", 0, "spider"),
    ("submit-proxy-port", "src/submit/SubmissionRun.cpp",
     "client->ProxyPort = t->ProxyPort;", "client->ProxyPort = QStringLiteral(\"80\");", 0,
     "app"),
    ("cli-spider-proxy", "src/cli/SpiderCommand.cpp",
     "httpMap.Proxy = proxy.host;", "httpMap.Proxy = QString();", 0, "cli"),
    ("cli-update-proxy-port", "src/cli/UpdateCommand.cpp",
     "httpCli2.ProxyPort = proxy.port;", "httpCli2.ProxyPort = QStringLiteral(\"80\");", 0, "cli"),
    ("location-page-proxy-port", "src/net/HttpUrl.cpp",
     "QLatin1Char('/') + host;", "QLatin1Char('/') + host;\n        if (viaProxy)\n            hop.location = scheme + QLatin1String(\"://\") + bracketed(hop.targetHost) + QLatin1Char('/') + host;", 0, "net"),
]


# The same fault where the code has moved since: tried in order when the
# main text is not found.
MOVED = {
    "ffa-cat-order": [("src/engines/FormNames.cpp", "if (allOccur(options, LargestCategorySet))",
                       "if (allOccur(options, SmallestCategorySet))", 0)],
    "analyser-cat-order": [("src/engines/FormNames.cpp", "        return 2;\n",
                            "        return 1;\n", 0)],
    "http-redirect-20": [("src/net/HttpRedirect.cpp", "++rs_.redirections > kMaxRedirections",
                          "++rs_.redirections >= kMaxRedirections", 0)],
    "http-length-digits": [("src/net/HttpHeader.cpp", "digitsValue(trimmed(value), 18)",
                            "digitsValue(trimmed(value), 17)", 0)],
    "url-v6-brackets": [("src/net/HttpUrl.cpp",
                         "parts.host = authority.mid(open + 1, close - open - 1);",
                         "parts.host = authority.mid(open, close - open);", 0)],
    "location-port-443": [("src/net/HttpUrl.cpp", "hop.port = defaultPort(hop.tls);",
                           "hop.port = QStringLiteral(\"80\");", 0)],
}


def areas():
    out = []
    tests = os.path.join(ROOT, "tests")
    for name in sorted(os.listdir(tests)):
        d = os.path.join(tests, name)
        if name == "support" or not os.path.isdir(d):
            continue
        if any(f.endswith(".cpp") for _, _, fs in os.walk(d) for f in fs):
            out.append(name)
    return out


JOBS = "2"


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def programs(build_dir, all_areas):
    out = {a: os.path.join(build_dir, "tests", f"test_{a}") for a in all_areas}
    out["linkbeacon-cli"] = os.path.join(build_dir, "linkbeacon-cli")
    out["linkbeacon"] = os.path.join(build_dir, "linkbeacon")
    return out


def starts_programs(area):
    # Test programs that run linkbeacon-cli or linkbeacon (the install test
    # runs the installed copies).
    if area == "dist":
        return True
    for d, _, fs in os.walk(os.path.join(ROOT, "tests", area)):
        for f in fs:
            with open(os.path.join(d, f), encoding="utf-8", errors="replace") as src:
                text = src.read()
            if "LB_CLI" in text or "LB_GUI" in text or "runCli" in text:
                return True
    return False


def build(build_dir, targets, log):
    cmd = ["cmake", "--build", build_dir, "-j", JOBS, "--target"] + [f"test_{a}" for a in targets]
    r = subprocess.run(cmd, stdout=log, stderr=subprocess.STDOUT)
    return r.returncode == 0


def command(build_dir, area):
    binary = os.path.join(build_dir, "tests", f"test_{area}")
    return ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$@"', "loopback-only",
            binary, "--gtest_fail_fast"]


ENV = dict(os.environ, QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0:abort_on_error=1")


def run(build_dir, area, log, timeout):
    start = time.monotonic()
    try:
        r = subprocess.run(command(build_dir, area), cwd=os.path.join(build_dir, "tests"),
                           env=ENV, stdout=log, stderr=subprocess.STDOUT, timeout=timeout)
        ok = r.returncode == 0
    except subprocess.TimeoutExpired:
        ok = False
    return ok, time.monotonic() - start


def run_all(build_dir, areas_to_run, log, timeout, parallel):
    """Runs the test programs, a few at a time (most of their time is spent
    waiting on servers and timers); returns the first that failed, or ""."""
    pending = list(areas_to_run)
    running = {}
    failed = ""
    while (pending or running) and not failed:
        while pending and len(running) < parallel:
            a = pending.pop(0)
            running[a] = (subprocess.Popen(command(build_dir, a),
                                           cwd=os.path.join(build_dir, "tests"), env=ENV,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                           start_new_session=True), time.monotonic())
        time.sleep(0.5)
        for a, (proc, started) in list(running.items()):
            code = proc.poll()
            if code is None and time.monotonic() - started > timeout:
                os.killpg(proc.pid, 9)
                proc.wait()
                code = -9
            if code is not None:
                del running[a]
                print(f"   {a}: {code}", file=log, flush=True)
                if code != 0 and not failed:
                    failed = a
    for proc, _ in running.values():
        os.killpg(proc.pid, 9)
        proc.wait()
    return failed


def apply(m):
    ident = m[0]
    for rel, old, new, occurrence in [m[1:5]] + MOVED.get(ident, []):
        path = os.path.join(ROOT, rel)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        count = text.count(old)
        if count > occurrence and (occurrence or count == 1):
            break
    else:
        raise SystemExit(f"{ident}: '{old}' found {count} times in {rel}")
    at = -1
    for _ in range(occurrence + 1):
        at = text.index(old, at + 1)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text[:at] + new + text[at + len(old):])
    return path, text


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "normal"))
    ap.add_argument("--only", default="")
    ap.add_argument("--out", default="")
    ap.add_argument("--timeout", type=int, default=420)
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--parallel", type=int, default=3, help="test programs run at once")
    ap.add_argument("--skip-clean-run", action="store_true",
                    help="the unchanged tree's suite has already passed")
    ap.add_argument("--check", action="store_true", help="only check that every fault applies")
    args = ap.parse_args()
    global JOBS
    JOBS = args.jobs
    wanted = [m for m in MUTANTS if not args.only or m[0] in args.only.split(",")]
    if args.check:
        for m in wanted:
            path, text = apply(m)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        print(f"{len(wanted)} faults apply")
        return
    all_areas = areas()
    log = open(os.path.join(args.build, "mutate.log"), "w")
    if not build(args.build, all_areas, log):
        raise SystemExit("the unchanged tree does not build")
    times = {}
    for a in all_areas:
        if args.skip_clean_run:
            times[a] = 0
            continue
        ok, secs = run(args.build, a, log, args.timeout)
        if not ok:
            raise SystemExit(f"test_{a} fails on the unchanged tree")
        times[a] = secs
    order = sorted(all_areas, key=lambda a: times[a])
    paths = programs(args.build, all_areas)
    clean = {name: digest(path) for name, path in paths.items()}
    starters = {a for a in all_areas if starts_programs(a)}
    rows = []
    for m in wanted:
        ident, rel, first = m[0], m[1], m[5]
        path, text = apply(m)
        try:
            killer = ""
            print(f"== {ident}", file=log, flush=True)
            if not build(args.build, [first], log):
                killer = "build"
            else:
                ok, _ = run(args.build, first, log, args.timeout)
                if not ok:
                    killer = first
                elif build(args.build, all_areas, log):
                    changed = {n for n, p in paths.items() if digest(p) != clean[n]}
                    tools = bool(changed & {"linkbeacon-cli", "linkbeacon"})
                    rest = [a for a in order if a != first and
                            (a in changed or (tools and a in starters))]
                    killer = run_all(args.build, rest, log, args.timeout, args.parallel)
                else:
                    killer = "build"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        row = f"{ident:24} {'killed' if killer else 'survived':8} {killer}"
        rows.append(row)
        print(row, flush=True)
        if args.out:
            with open(args.out, "a") as f:
                f.write(row + "\n")
    # Leave the build matching the tree again.
    build(args.build, all_areas, log)
    killed = sum(1 for r in rows if " killed " in r + " ")
    summary = f"{killed} of {len(rows)} killed"
    print(summary)
    if args.out:
        with open(args.out, "a") as f:
            f.write(summary + "\n")


if __name__ == "__main__":
    sys.exit(main())
