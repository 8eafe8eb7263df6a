#include "reports/ui/ThtmlLite.h"

#include "common/AsciiText.h"
#include "common/ui/Contrast.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QUrl>

namespace lb {

namespace {

QString cleanAbsolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// "http:", "mailto:" ... but not a drive letter such as "C:".
bool hasScheme(const QString& href) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(href).hasMatch();
}

} // namespace

ThtmlLite::ThtmlLite(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    applyStyle();
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        // The document has no source URL, so this is the link as written.
        ClickLink(url.toString(QUrl::FullyDecoded));
    });
}

bool ThtmlLite::LoadFromFile(const QString& fullPath) {
    const QString previous = m_currentFile;
    const bool ok = showFile(fullPath);
    if (!previous.isEmpty() && m_historyMax > 0) {
        m_back.append(previous);
        m_forward.clear();
        trimHistory();
    }
    return ok;
}

bool ThtmlLite::showFile(const QString& fullPath) {
    const QString path = cleanAbsolute(fullPath);
    QFile file(path);
    QString html;
    bool ok = false;
    if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly)) {
        if (file.size() > kMaxDocumentBytes) {
            html = QStringLiteral("<p>File too large to show: ") +
                   QDir::toNativeSeparators(path).toHtmlEscaped() + QStringLiteral("</p>");
        } else {
            html = decodeText(file.readAll());
            ok = true;
        }
    } else {
        html = QStringLiteral("<p>Cannot open file ") +
               QDir::toNativeSeparators(path).toHtmlEscaped() + QStringLiteral("</p>");
    }
    m_currentFile = ok ? path : QString();
    m_currentHtml = html;
    const QString folder = ok ? QFileInfo(path).absolutePath() : QString();
    setSearchPaths(folder.isEmpty() ? QStringList() : QStringList{folder});
    document()->setBaseUrl(folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(folder + "/"));
    rerender();
    return ok;
}

void ThtmlLite::rerender() {
    // clear() also drops the document's cached pictures, so a switch of
    // ViewImages or a changed file shows up.
    document()->clear();
    setHtml(m_currentHtml);
}

void ThtmlLite::reload() {
    if (!m_currentFile.isEmpty())
        showFile(m_currentFile);
}

void ThtmlLite::doSetSource(const QUrl& name, QTextDocument::ResourceType) {
    // Anything that asks the browser for a source goes through our loader.
    if (name.isLocalFile())
        LoadFromFile(name.toLocalFile());
    else if (name.isRelative() && !name.path().isEmpty())
        LoadFromFile(ResolveLink(name.toString(QUrl::FullyDecoded)));
}

void ThtmlLite::SetHistoryMaxCount(int count) {
    m_historyMax = qMax(0, count);
    trimHistory();
}

void ThtmlLite::trimHistory() {
    while (m_back.size() > m_historyMax)
        m_back.removeFirst();
    while (m_forward.size() > m_historyMax)
        m_forward.removeLast();
}

QStringList ThtmlLite::History() const {
    QStringList out;
    for (auto it = m_back.crbegin(); it != m_back.crend(); ++it)
        out.append(*it);
    return out;
}

bool ThtmlLite::GoBack() {
    if (m_back.isEmpty())
        return false;
    if (!m_currentFile.isEmpty())
        m_forward.prepend(m_currentFile);
    showFile(m_back.takeLast());
    trimHistory();
    return true;
}

bool ThtmlLite::GoForward() {
    if (m_forward.isEmpty())
        return false;
    if (!m_currentFile.isEmpty())
        m_back.append(m_currentFile);
    showFile(m_forward.takeFirst());
    trimHistory();
    return true;
}

void ThtmlLite::ClearHistory() {
    m_back.clear();
    m_forward.clear();
}

void ThtmlLite::SetViewImages(bool on) {
    if (m_viewImages == on)
        return;
    m_viewImages = on;
    rerender();
}

void ThtmlLite::SetDefFontName(const QString& family) {
    m_fontName = family;
    applyStyle();
    rerender();
}

void ThtmlLite::SetDefPreFontName(const QString& family) {
    m_preFontName = family;
    applyStyle();
    rerender();
}

void ThtmlLite::SetDefBackground(const QColor& color) {
    m_background = color;
    applyStyle();
}

void ThtmlLite::SetDefHotSpotColor(const QColor& color) {
    m_hotSpotColor = color;
    applyStyle();
    rerender();
}

void ThtmlLite::applyStyle() {
    QFont font = document()->defaultFont();
    font.setFamily(m_fontName);
    document()->setDefaultFont(font);
    document()->setDefaultStyleSheet(
        QStringLiteral("pre, tt, code, kbd, samp { font-family: \"%1\"; } a { color: %2; }")
            .arg(m_preFontName, m_hotSpotColor.name()));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, m_background);
    // Pages bring their own background, so the text follows it, not the system palette.
    pal.setColor(QPalette::Text, readableTextOn(m_background));
    pal.setColor(QPalette::Link, m_hotSpotColor);
    setPalette(pal);
}

QString ThtmlLite::SelText() const {
    return textCursor().selection().toPlainText();
}

int ThtmlLite::SelStart() const {
    return textCursor().selectionStart();
}

int ThtmlLite::SelLength() const {
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

int ThtmlLite::CaretPos() const {
    return textCursor().position();
}

void ThtmlLite::SetSelStart(int position) {
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    c.setPosition(qBound(0, position, c.position()));
    setTextCursor(c);
}

void ThtmlLite::SetSelLength(int length) {
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    const int end = c.position();
    const int start = SelStart();
    c.setPosition(start);
    c.setPosition(qBound(0, start + qMax(0, length), end), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void ThtmlLite::SetServerRoot(const QString& folder) {
    m_serverRoot = folder.isEmpty() ? QString() : cleanAbsolute(folder);
}

QString ThtmlLite::documentFolder() const {
    return m_currentFile.isEmpty() ? QString() : QFileInfo(m_currentFile).absolutePath();
}

QString ThtmlLite::allowedRoot() const {
    return m_serverRoot.isEmpty() ? documentFolder() : m_serverRoot;
}

bool ThtmlLite::insideRoot(const QString& path) const {
    const QString root = allowedRoot();
    if (root.isEmpty())
        return false;
    // Compare real paths where they exist, so a link through a symbolic
    // link cannot step out either.
    const QString realRoot = QFileInfo(root).canonicalFilePath();
    const QString realPath = QFileInfo(path).canonicalFilePath();
    const QString r = realRoot.isEmpty() ? root : realRoot;
    const QString p = realPath.isEmpty() ? cleanAbsolute(path) : realPath;
    return p == r || p.startsWith(r.endsWith('/') ? r : r + QLatin1Char('/'));
}

QString ThtmlLite::ResolveLink(const QString& href) const {
    QString target = href.trimmed();
    const qsizetype hash = target.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        target.truncate(hash);
    if (target.isEmpty())
        return QString();
    if (hasScheme(target)) {
        const QUrl url(target);
        if (!url.isLocalFile())
            return QString();
        target = url.toLocalFile();
    }
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList candidates;
    if (target.startsWith(QLatin1Char('/'))) {
        // A path from the root of the served folder, or a full path.
        if (!m_serverRoot.isEmpty())
            candidates.append(m_serverRoot + target);
        candidates.append(target);
    } else {
        if (!documentFolder().isEmpty())
            candidates.append(documentFolder() + QLatin1Char('/') + target);
        if (!m_serverRoot.isEmpty())
            candidates.append(m_serverRoot + QLatin1Char('/') + target);
    }
    QString fallback;
    for (const QString& candidate : candidates) {
        const QString path = QDir::cleanPath(candidate);
        if (!insideRoot(path))
            continue;
        if (QFileInfo(path).isFile())
            return path;
        if (fallback.isEmpty())
            fallback = path;
    }
    // A missing page inside the folder is still followed, so the view says so.
    return fallback;
}

void ThtmlLite::ClickLink(const QString& href) {
    bool handled = false;
    emit HotSpotClick(href, &handled);
    if (!handled)
        followLink(href);
}

void ThtmlLite::followLink(const QString& href) {
    const QString trimmed = href.trimmed();
    const qsizetype hash = trimmed.indexOf(QLatin1Char('#'));
    const QString anchor = hash >= 0 ? trimmed.mid(hash + 1) : QString();
    if (hash == 0) {
        scrollToAnchor(anchor);
        return;
    }
    const QString path = ResolveLink(trimmed);
    if (path.isEmpty())
        return; // off this machine or outside the folder: not ours to open
    if (path != m_currentFile)
        LoadFromFile(path);
    if (!anchor.isEmpty())
        scrollToAnchor(anchor);
}

// A refused resource must still be a value: on an empty answer the document
// would read the file itself. A blank picture keeps the layout.
static QVariant refused(int type) {
    if (type == QTextDocument::ImageResource) {
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QByteArray("");
}

QVariant ThtmlLite::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource && !m_viewImages)
        return refused(type);
    QString path;
    if (name.isLocalFile()) {
        path = name.toLocalFile();
        // The document's base URL makes relative names absolute already.
    } else if (name.isRelative()) {
        path = ResolveLink(name.toString(QUrl::FullyDecoded));
    } else {
        return refused(type); // nothing is fetched from the network
    }
    path = QDir::cleanPath(path);
    if (path.isEmpty() || !insideRoot(path))
        return refused(type);
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() > kMaxDocumentBytes ||
        !file.open(QIODevice::ReadOnly))
        return refused(type);
    return file.readAll();
}

} // namespace lb
