#include "cli/Documents.h"
#include "cli/CommandLine.h"

namespace lb::cli {

namespace {

// Text as roff shows it literally: backslashes, minus signs (so options can
// be copied from the page) and a leading dot or quote escaped.
QString roff(const QString& text) {
    QString s = text;
    s.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    s.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (s.startsWith(QLatin1Char('.')) || s.startsWith(QLatin1Char('\'')))
        s.prepend(QStringLiteral("\\&"));
    return s;
}

QString roff(const char* text) {
    return roff(QString::fromUtf8(text));
}

QString optionEntry(const QString& name, const QString& value, const QString& help) {
    QString out = QStringLiteral(".TP\n\\fB") + roff(name) + QStringLiteral("\\fR");
    if (!value.isEmpty())
        out += QStringLiteral(" \\fI") + roff(value) + QStringLiteral("\\fR");
    return out + QLatin1Char('\n') + roff(help) + QLatin1Char('\n');
}

// The words a command's first operand may be ("test|extract"), or empty.
QString actionWords(const Command& c) {
    if (c.operands.empty())
        return {};
    const QString first = QString::fromUtf8(c.operands.front().syntax);
    if (!first.contains(QLatin1Char('|')) || first.contains(QLatin1Char('[')))
        return {};
    return first.split(QLatin1Char('|')).join(QLatin1Char(' '));
}

} // namespace

QString manPage(const QString& version, const QString& date) {
    QString out;
    out += QStringLiteral(".TH LINKBEACON\\-CLI 1 \"%1\" \"Linkbeacon %2\" \"User Commands\"\n")
               .arg(date, version);
    out += QStringLiteral(
        ".SH NAME\n"
        "linkbeacon\\-cli \\- Linkbeacon without windows\n"
        ".SH SYNOPSIS\n"
        ".B linkbeacon\\-cli\n"
        "[\\fB\\-\\-program\\-folder\\fR \\fIDIR\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n"
        ".br\n"
        ".B linkbeacon\\-cli\n"
        "\\fICOMMAND\\fR \\fB\\-\\-help\\fR\n"
        ".br\n"
        ".B linkbeacon\\-cli\n"
        "\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n"
        ".SH DESCRIPTION\n"
        "Linkbeacon promotes web sites: it fills a site's description into the submission\n"
        "forms of search engines, directories and link pages.\n"
        ".B linkbeacon\\-cli\n"
        "runs its logic without windows, with the same files and results as\n"
        ".BR linkbeacon (1).\n"
        ".PP\n"
        "Commands that work on the program folder (sessions, engine databases, settings)\n"
        "run in the current directory when it is one. Otherwise an installed program\n"
        "uses \\fI$XDG_DATA_HOME/linkbeacon\\fR (default \\fI~/.local/share/linkbeacon\\fR),\n"
        "made on first use as a copy of \\fI/usr/share/linkbeacon/programfolder\\fR.\n"
        "Commands on single files (cipher, qdb, rar, colour) read their names from the\n"
        "current directory.\n"
        ".SH OPTIONS\n");
    out += optionEntry(QStringLiteral("--program-folder"), QStringLiteral("DIR"),
                       QStringLiteral("work in the program folder DIR, made from the installed "
                                      "one when it does not exist"));
    out += optionEntry(QStringLiteral("--help"), {},
                       QStringLiteral("list the commands; after a command, explain it"));
    out += optionEntry(QStringLiteral("--version"), {}, QStringLiteral("print the version"));
    out += QStringLiteral(".SH COMMANDS\n");
    for (const Command& c : commands()) {
        out += QStringLiteral(".SS ") + roff(c.name) + QLatin1Char('\n');
        out += QStringLiteral(".nf\n");
        for (const QString& line : synopsis(c))
            out += QStringLiteral("\\fBlinkbeacon\\-cli\\fR ") + roff(line) + QLatin1Char('\n');
        out += QStringLiteral(".fi\n.PP\n") + roff(c.summary) + QLatin1Char('\n');
        for (const Operand& o : c.operands)
            if (*o.help)
                out += optionEntry(QString::fromUtf8(o.syntax), {}, QString::fromUtf8(o.help));
        for (const Option& o : c.options)
            out +=
                optionEntry(QStringLiteral("--") + QLatin1String(o.name),
                            QString::fromUtf8(o.value ? o.value : ""), QString::fromUtf8(o.help));
    }
    out +=
        QStringLiteral(".SH EXIT STATUS\n"
                       "0 success, 1 failure or refusal, 2 bad arguments (one line on\n"
                       "standard error says which).\n"
                       ".SH ENVIRONMENT\n"
                       ".TP\n"
                       ".B XDG_DATA_HOME\n"
                       "where the user's program folder is made (default \\fI~/.local/share\\fR)\n"
                       ".SH FILES\n"
                       ".TP\n"
                       ".I /usr/share/linkbeacon/programfolder\n"
                       "the installed program folder: sample engines, sessions and help pages\n"
                       ".SH SEE ALSO\n"
                       ".BR linkbeacon (1)\n");
    return out;
}

QString bashCompletion() {
    QString names;
    QString cases;
    for (const Command& c : commands()) {
        names += (names.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1String(c.name);
        QString options, valued;
        for (const Option& o : c.options) {
            options += QStringLiteral("--") + QLatin1String(o.name) + QLatin1Char(' ');
            if (o.value)
                valued += QStringLiteral("--") + QLatin1String(o.name) + QLatin1Char(' ');
        }
        if (c.dashWords != DashWords::Literal)
            options += QStringLiteral("--help");
        cases += QStringLiteral("        %1) options=\"%2\" valued=\" %3\" actions=\"%4\" ;;\n")
                     .arg(QLatin1String(c.name), options.trimmed(), valued, actionWords(c));
    }
    return QStringLiteral(
               "# bash completion for linkbeacon-cli, made from its command table\n"
               "_linkbeacon_cli() {\n"
               "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
               "    local i=1 command=\"\"\n"
               "    while ((i < COMP_CWORD)); do\n"
               "        case ${COMP_WORDS[i]} in\n"
               "            --program-folder) ((i += 2)); continue ;;\n"
               "            -*) ;;\n"
               "            *) command=${COMP_WORDS[i]}; break ;;\n"
               "        esac\n"
               "        ((i++))\n"
               "    done\n"
               "    if [[ -z $command ]]; then\n"
               "        if [[ $prev == --program-folder ]]; then\n"
               "            COMPREPLY=($(compgen -d -- \"$cur\"))\n"
               "        else\n"
               "            COMPREPLY=($(compgen -W \"%1 --program-folder --help --version\" "
               "-- \"$cur\"))\n"
               "        fi\n"
               "        return\n"
               "    fi\n"
               "    local options=\"\" valued=\" \" actions=\"\"\n"
               "    case $command in\n"
               "%2"
               "        *) return ;;\n"
               "    esac\n"
               "    if [[ $valued == *\" $prev \"* ]]; then\n"
               "        compopt -o filenames 2>/dev/null\n"
               "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "        return\n"
               "    fi\n"
               "    if [[ $cur == -* ]]; then\n"
               "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
               "        return\n"
               "    fi\n"
               "    # The first operand may be one of the command's actions.\n"
               "    local j\n"
               "    for ((j = i + 1; j < COMP_CWORD; j++)); do\n"
               "        if [[ $valued == *\" ${COMP_WORDS[j]} \"* ]]; then\n"
               "            ((j++))\n"
               "        elif [[ ${COMP_WORDS[j]} != -* ]]; then\n"
               "            actions=\"\"\n"
               "            break\n"
               "        fi\n"
               "    done\n"
               "    if [[ -n $actions ]]; then\n"
               "        COMPREPLY=($(compgen -W \"$actions\" -- \"$cur\"))\n"
               "        return\n"
               "    fi\n"
               "    compopt -o filenames 2>/dev/null\n"
               "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "}\n"
               "complete -F _linkbeacon_cli linkbeacon-cli\n")
        .arg(names, cases);
}

} // namespace lb::cli
