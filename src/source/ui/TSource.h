#pragma once
// The "Source" window: the HTML source of the engine's submission page in a
// colouring memo (SourceBox), the site name (Label2), a two-panel status bar
// and the buttons Close (Button1) and Abort. VSource on the engine page opens it.
#include <QWidget>

#include <memory>

class QLabel;
class QMenu;
class QPushButton;

namespace lb {

class Dialogs;
struct ProxySettings;
class SourceViewer;
class TColorMemo;

class TSource : public QWidget {
    Q_OBJECT
public:
    explicit TSource(QWidget* parent = nullptr);
    ~TSource() override;

    // Messages go to the program's dialogs; the proxy is taken when switched on.
    void attach(Dialogs& dialogs, const ProxySettings& proxy);

    // VSourceClick: shows the window and fetches the page (returns when done).
    void VSourceClick(const QString& siteName, const QString& siteUrl);

    SourceViewer* viewer() const { return m_viewer.get(); }
    TColorMemo* SourceBox() const { return m_sourceBox; }
    QMenu* PopupMenu1() const { return m_popup; }

private:
    void sync();

    std::unique_ptr<SourceViewer> m_viewer;
    TColorMemo* m_sourceBox = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_panel0 = nullptr;
    QLabel* m_panel1 = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_abort = nullptr;
    QMenu* m_popup = nullptr;
};

} // namespace lb
