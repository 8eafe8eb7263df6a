#pragma once
// The HTML viewer control of the help pages and reports: loads a file by its
// full path, keeps a history of earlier documents, can leave images out, and
// reports clicks on links before following them. Links and pictures are only
// taken from inside the viewer's folder (ServerRoot, or the document's own
// folder while no ServerRoot is set), so a page cannot reach other files.
#include <QColor>
#include <QStringList>
#include <QTextBrowser>

namespace lb {

class ThtmlLite : public QTextBrowser {
    Q_OBJECT
public:
    // Pages bigger than this are not shown (a report or help page is a few KB).
    static constexpr qint64 kMaxDocumentBytes = 32 * 1024 * 1024;

    explicit ThtmlLite(QWidget* parent = nullptr);

    // Shows the file. When it cannot be read the view says so
    // ("Cannot open file " + path) and false is returned.
    bool LoadFromFile(const QString& fullPath);
    // Absolute path of the document on screen; empty when none.
    QString CurrentFile() const { return m_currentFile; }

    // History of earlier documents, kept up to HistoryMaxCount (0: none).
    int HistoryMaxCount() const { return m_historyMax; }
    void SetHistoryMaxCount(int count);
    QStringList History() const; // the most recent first
    bool CanGoBack() const { return !m_back.isEmpty(); }
    bool CanGoForward() const { return !m_forward.isEmpty(); }
    bool GoBack();
    bool GoForward();
    void ClearHistory();

    bool ViewImages() const { return m_viewImages; }
    void SetViewImages(bool on);

    QString DefFontName() const { return m_fontName; }
    void SetDefFontName(const QString& family);
    QString DefPreFontName() const { return m_preFontName; }
    void SetDefPreFontName(const QString& family);
    QColor DefBackground() const { return m_background; }
    void SetDefBackground(const QColor& color);
    QColor DefHotSpotColor() const { return m_hotSpotColor; }
    void SetDefHotSpotColor(const QColor& color);

    // Selection as plain text, and the caret.
    void SelectAll() { selectAll(); }
    QString SelText() const;
    int SelStart() const;
    void SetSelStart(int position); // moves the caret there, nothing selected
    int SelLength() const;
    void SetSelLength(int length); // selects from SelStart
    int CaretPos() const;
    void SetCaretPos(int position) { SetSelStart(position); }

    // Folder that links beginning with "/" (or "\") resolve against, and
    // outside of which nothing is loaded.
    QString ServerRoot() const { return m_serverRoot; }
    void SetServerRoot(const QString& folder);

    // What a click on a link with this target does: HotSpotClick first, and
    // unless a handler took it, the viewer follows the link.
    void ClickLink(const QString& href);
    // The file a link leads to, or empty when it leads out of the folder or
    // off this machine.
    QString ResolveLink(const QString& href) const;

public slots:
    void backward() override { GoBack(); }
    void forward() override { GoForward(); }
    void reload() override;

signals:
    // Fired before a link is followed; a handler that sets *handled stops it.
    // sender() is the viewer.
    void HotSpotClick(const QString& url, bool* handled);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    bool showFile(const QString& fullPath);
    void rerender();
    void applyStyle();
    void followLink(const QString& href);
    QString allowedRoot() const;
    QString documentFolder() const;
    bool insideRoot(const QString& path) const;
    void trimHistory();

    QString m_currentFile;
    QString m_currentHtml;
    QStringList m_back;    // oldest first
    QStringList m_forward; // next first
    int m_historyMax = 0;
    bool m_viewImages = true;
    QString m_fontName = QStringLiteral("Times New Roman");
    QString m_preFontName = QStringLiteral("Courier New");
    QColor m_background = Qt::white;
    QColor m_hotSpotColor = QColor(0, 0, 255);
    QString m_serverRoot;
};

} // namespace lb
