#include "cli/CommandLine.h"
#include "common/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace lb::cli {

namespace {

// Words the parser must not read as options stand in for themselves as
// this character followed by their index, and are given back afterwards.
constexpr QChar kStandIn(0xFDD0);

constexpr int kHelpColumn = 24;
constexpr int kLineWidth = 79;

QString fill(QString text, const QString& first, const QString& second = QString()) {
    text.replace(QLatin1String("%1"), first);
    text.replace(QLatin1String("%2"), second);
    return text;
}

// Appends "  LABEL  text" with the text wrapped at kLineWidth.
void appendEntry(QString& out, const QString& label, const QString& help) {
    QString line = QStringLiteral("  ") + label;
    if (help.isEmpty()) {
        out += line + QLatin1Char('\n');
        return;
    }
    if (line.size() + 2 > kHelpColumn) {
        out += line + QLatin1Char('\n');
        line.clear();
    }
    line = line.leftJustified(kHelpColumn, QLatin1Char(' '));
    bool lineHasWord = false;
    for (const QString& word : help.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineHasWord && line.size() + 1 + word.size() > kLineWidth) {
            out += line + QLatin1Char('\n');
            line = QString(kHelpColumn, QLatin1Char(' '));
            lineHasWord = false;
        }
        if (lineHasWord)
            line += QLatin1Char(' ');
        line += word;
        lineHasWord = true;
    }
    out += line + QLatin1Char('\n');
}

const Option* findOption(const Command& c, const QString& name) {
    for (const Option& o : c.options)
        if (name == QLatin1String(o.name))
            return &o;
    return nullptr;
}

} // namespace

const Command* findCommand(const QString& name) {
    for (const Command& c : commands())
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

QString optionLabel(const Option& option) {
    QString label = QStringLiteral("--") + QLatin1String(option.name);
    if (option.value)
        label += QLatin1Char(' ') + QLatin1String(option.value);
    return label;
}

QStringList synopsis(const Command& command) {
    QStringList lines;
    for (const char* form : command.forms)
        lines << QString::fromUtf8(form);
    if (!lines.isEmpty())
        return lines;
    QString line = QLatin1String(command.name);
    if (!command.options.empty())
        line += QStringLiteral(" [options]");
    for (const Operand& o : command.operands)
        line += QLatin1Char(' ') + QString::fromUtf8(o.syntax);
    return {line};
}

QString helpText(const Command& command) {
    QString out;
    bool first = true;
    for (const QString& line : synopsis(command)) {
        out += (first ? QStringLiteral("usage: ") : QStringLiteral("       ")) +
               QStringLiteral("linkbeacon-cli ") + line + QLatin1Char('\n');
        first = false;
    }
    out += QLatin1Char('\n') + QString::fromUtf8(command.summary) + QLatin1Char('\n');
    bool anyOperandHelp = false;
    for (const Operand& o : command.operands)
        anyOperandHelp = anyOperandHelp || *o.help;
    if (anyOperandHelp) {
        out += QStringLiteral("\nArguments:\n");
        for (const Operand& o : command.operands)
            appendEntry(out, QString::fromUtf8(o.syntax), QString::fromUtf8(o.help));
    }
    if (!command.options.empty()) {
        out += QStringLiteral("\nOptions:\n");
        for (const Option& o : command.options)
            appendEntry(out, optionLabel(o), QString::fromUtf8(o.help));
    }
    return out;
}

CommandLine::CommandLine(const Command& command) : m_command(command) {
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const Option& o : command.options) {
        QCommandLineOption option(QString::fromLatin1(o.name));
        if (o.value)
            option.setValueName(QString::fromUtf8(o.value));
        m_parser.addOption(option);
    }
    m_parser.addOption(QCommandLineOption(QStringLiteral("help")));
}

bool CommandLine::parse(const QStringList& args) {
    m_args = args;
    QStringList words{QStringLiteral("linkbeacon-cli")};
    if (m_command.dashWords == DashWords::Literal)
        words << QStringLiteral("--");
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool singleDash =
            a.size() > 1 && a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--"));
        words << (singleDash && m_command.dashWords == DashWords::Operands
                      ? QString(kStandIn) + QString::number(i)
                      : a);
    }
    if (!m_parser.parse(words)) {
        m_error = firstBadWord(words.mid(1));
        return false;
    }
    for (const QString& w : m_parser.positionalArguments())
        m_operands << restore(w);
    return true;
}

QString CommandLine::restore(const QString& word) const {
    if (!word.startsWith(kStandIn))
        return word;
    return m_args.value(word.mid(1).toInt());
}

// The parser names a bad option without its dashes and reports only its last
// fault; the reason given is the first bad word, as it was typed.
QString CommandLine::firstBadWord(const QStringList& words) const {
    for (int i = 0; i < words.size(); ++i) {
        const QString& w = words.at(i);
        if (w == QLatin1String("--"))
            break;
        if (w.size() < 2 || !w.startsWith(QLatin1Char('-')))
            continue;
        const QString body = w.mid(w.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype eq = body.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? body : body.left(eq);
        const Option* o = findOption(m_command, name);
        if (name == QLatin1String("help") && eq < 0)
            continue;
        if (!o || (!o->value && eq >= 0))
            return fill(QString::fromUtf8(m_command.unknownOption), w);
        if (o->value && eq < 0 && ++i >= words.size())
            return o->missing ? QString::fromUtf8(o->missing)
                              : fill(QString::fromUtf8(m_command.missingValue), w,
                                     QString::fromUtf8(o->value));
    }
    return m_parser.errorText();
}

bool CommandLine::isSet(const char* option) const {
    return m_parser.isSet(QString::fromLatin1(option));
}

QString CommandLine::value(const char* option) const {
    return restore(m_parser.value(QString::fromLatin1(option)));
}

QStringList CommandLine::values(const char* option) const {
    QStringList out;
    for (const QString& v : m_parser.values(QString::fromLatin1(option)))
        out << restore(v);
    return out;
}

QStringList CommandLine::optionsGiven() const {
    return m_parser.optionNames();
}

int CommandLine::usageError(const QString& reason) const {
    const QString line = QStringLiteral("linkbeacon-cli ") + QLatin1String(m_command.name) +
                         QStringLiteral(": ") +
                         fill(QString::fromUtf8(m_command.usageLine), reason);
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    return 2;
}

int dispatch(const Command& command, const QStringList& args, const QString& programFolder) {
    auto help = [&] {
        const QByteArray text = helpText(command).toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    };
    if (args.size() == 1 &&
        (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")))
        return help();
    CommandLine line(command);
    if (!line.parse(args))
        return line.usageError(line.error());
    if (command.dashWords != DashWords::Literal && line.isSet("help"))
        return help();
    if (command.inProgramFolder) {
        const FolderChoice choice =
            chooseProgramFolder(QDir::currentPath(), programFolder,
                                installedTemplate(QCoreApplication::applicationDirPath()));
        if (choice.folder.isEmpty() || !QDir::setCurrent(choice.folder)) {
            std::fprintf(stderr, "linkbeacon-cli: %s\n",
                         qPrintable(choice.error.isEmpty()
                                        ? QStringLiteral("cannot enter ") + choice.folder
                                        : choice.error));
            return 1;
        }
    }
    return command.run(line);
}

} // namespace lb::cli
