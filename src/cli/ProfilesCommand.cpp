// linkbeacon-cli profiles list|show|save: the crawler options window's
// profiles in program folder + "setting.set", as the window shows and saves them.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Dialogs.h"
#include "ffa/CrawlerOptions.h"
#include "ffa/CrawlerProfiles.h"

#include <cstdio>
#include <memory>
#include <QDir>
#include <vector>

namespace lb::cli {

QByteArray escapeFieldBytes(const QByteArray& bytes);
void writeOut(const QByteArray& bytes);
void printError(const QString& message);

namespace {

// The window's message boxes on stderr: caption + ": " + text. Questions are
// answered Yes only when the command line said so.
class StderrDialogs : public Dialogs {
public:
    explicit StderrDialogs(bool yes) : m_yes(yes) {}
    void inform(const QString& text, const QString& caption, Icon) override {
        print(caption, text);
    }
    bool askYesNo(const QString& text, const QString& caption) override {
        print(caption, text);
        return m_yes;
    }
    void showError(const QString& text) override { printError(text); }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }

private:
    static void print(const QString& caption, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    }
    bool m_yes;
};

int controlIndex(const QString& name) {
    for (int i = 0; i < OptionControlCount; ++i)
        if (optionControls().at(i).name == name)
            return i;
    return -1;
}

} // namespace

int runProfiles(const CommandLine& line) {
    QStringList positional = line.operands();
    const bool yes = line.isSet("yes");
    if (positional.isEmpty())
        return line.usageError(QString());
    const QString sub = positional.takeFirst();
    const bool isList = sub == QLatin1String("list");
    const bool isShow = sub == QLatin1String("show");
    const bool isSave = sub == QLatin1String("save");
    if ((!isList && !isShow && !isSave) || (isList && !positional.isEmpty()) ||
        (isShow && positional.size() > 1) || (isSave && positional.isEmpty()) || (yes && !isSave))
        return line.usageError(QString());

    // Values given as CONTROL=TEXT, checked before the store is touched.
    QList<QPair<int, QString>> values;
    if (isSave) {
        for (int i = 1; i < positional.size(); ++i) {
            const qsizetype eq = positional[i].indexOf(QLatin1Char('='));
            const int c = eq < 0 ? -1 : controlIndex(positional[i].left(eq));
            if (c < 0)
                return line.usageError(QString());
            QString text = positional[i].mid(eq + 1);
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
            values.append({c, text});
        }
    }

    StderrDialogs dialogs(yes);
    std::vector<std::unique_ptr<QDBTextControl>> controls;
    QList<QDBControl*> panel;
    for (const OptionControlInfo& info : optionControls()) {
        controls.push_back(std::make_unique<QDBTextControl>(info.name, info.className, info.memo,
                                                            info.defaultText));
        panel.append(controls.back().get());
    }
    CrawlerProfiles profiles(dialogs);
    profiles.bindPanel(panel);

    try {
        profiles.open(QDir::currentPath());
        TQDBView& view = profiles.view();
        if (isList) {
            for (int i = 0; i < view.count(); ++i) {
                const QString k = view.key(i);
                if (TQDBView::isSignatureKey(k) ||
                    k.compare(QLatin1String("QDBCaseSensitive"), Qt::CaseInsensitive) == 0)
                    continue;
                writeOut(view.keyBytes(i));
                writeOut("\n");
            }
            return 0;
        }
        if (isShow) {
            if (!positional.isEmpty() && !profiles.select(positional[0]))
                throw EQDBBadKey(qdbtext::keyMissing(positional[0]));
            // The field bytes as stored when a profile is shown, else the defaults.
            QList<QByteArray> fields;
            if (!profiles.currentName().isEmpty()) {
                view.findKey(profiles.currentName());
                fields = view.fetchFields();
            } else {
                for (const auto& c : controls)
                    fields.append(c->store());
            }
            for (int i = 0; i < OptionControlCount; ++i) {
                const QByteArray f = i < fields.size() ? fields[i] : QByteArray();
                const qsizetype nul = f.indexOf('\0');
                writeOut(optionControls().at(i).name.toUtf8() + '=' +
                         escapeFieldBytes(nul < 0 ? f : f.left(nul)) + '\n');
            }
            const quint64 count = combinationCount(controls[int(OptionControl::Terms1)]->text(),
                                                   controls[int(OptionControl::Terms2)]->text(),
                                                   controls[int(OptionControl::Bonus1)]->text(),
                                                   controls[int(OptionControl::Bonus2)]->text());
            writeOut("Label5=" + QByteArray::number(count) + '\n');
            return 0;
        }
        const QString name = positional[0];
        if (profiles.exists(name)) {
            profiles.select(name);
            profiles.editProfile();
        } else {
            profiles.newProfile();
        }
        for (const auto& [c, text] : values)
            controls[size_t(c)]->setText(text);
        return profiles.save(name) ? 0 : 1;
    } catch (const EQDBError& e) {
        printError(e.message());
        return 1;
    }
}

} // namespace lb::cli
