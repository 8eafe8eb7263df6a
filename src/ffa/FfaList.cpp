#include "ffa/FfaList.h"

#include "common/AsciiText.h"
#include "common/FileError.h"
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"
#include "engines/EngineFile.h"

#include <QFile>
#include <QSaveFile>

namespace lb {

QString FfaList::rowLabel(int row) {
    static const char* const labels[Keyword1] = {
        "Site_Name", "Site_Url", "Cgi_Url",  "Name",    "Last Name", "Email",
        "Company",   "Address1", "Address2", "Country", "City",      "State",
        "Zip",       "Phone",    "Fax",      "URL",     "Title",     "Description",
        "Catagory",  "Cat_Type", "Method",   "Hidden"};
    if (row < 0 || row >= RowCount)
        return QString();
    if (row >= Keyword1)
        return QStringLiteral("Keyword%1").arg(row - Keyword1 + 1);
    return QString::fromLatin1(labels[row]);
}

const std::array<int, 37>& FfaList::lineOrder() {
    static const std::array<int, 37> order = [] {
        std::array<int, 37> o{SiteUrl, CgiUrl, Title,  Url,      Email,   Description, Catagory,
                              CatType, Name,   Hidden, LastName, Company, Address1,    Address2,
                              City,    State,  Zip,    Phone,    Fax,     Method};
        for (int k = 0; k < 16; ++k)
            o[size_t(20 + k)] = Keyword1 + k;
        o[36] = Country;
        return o;
    }();
    return order;
}

FfaList::FfaList() = default;

void FfaList::reset() {
    m_lines.clear();
    m_keyList.clear();
    m_keyText.clear();
    m_current = -1;
    m_view.fill(QString());
}

void FfaList::setLines(QStringList lines) {
    lines.removeIf([](const QString& l) { return l.isEmpty(); });
    m_lines.setLines(lines);
    QStringList names;
    names.reserve(m_lines.count());
    m_keyText.clear();
    for (const QString& line : m_lines.lines()) {
        const int eq = line.indexOf(QLatin1Char('='));
        names.append(eq < 0 ? line : line.left(eq));
        m_keyText += asciiUpper(names.last().toUtf8());
        m_keyText += '\n';
    }
    m_keyList.setNames(names);
    m_current = -1;
    clearView();
}

bool FfaList::keyListContains(const QString& name) const {
    if (name.isEmpty())
        return !m_keyList.isEmpty();
    return m_keyText.contains(asciiUpper(name.toUtf8()));
}

void FfaList::selectName(const QString& name) {
    const int row = m_keyList.indexOf(name);
    if (row >= 0)
        selectRow(row);
}

void FfaList::selectRow(int row) {
    if (row < 0 || row >= m_keyList.count())
        return;
    m_current = row;
    const QString name = m_keyList.at(row);
    const QString line = m_lines.lineOfName(name);
    showLine(line.isEmpty() ? name + QLatin1Char('=') : line);
}

void FfaList::showLine(const QString& line) {
    const int eq = line.indexOf(QLatin1Char('='));
    m_view[SiteName] = eq < 0 ? line : line.left(eq);
    int pos = eq < 0 ? int(line.size()) : eq + 1;
    for (int row : lineOrder()) {
        const int bar = line.indexOf(QLatin1Char('|'), pos);
        if (bar < 0) {
            m_view[size_t(row)] = line.mid(pos);
            pos = int(line.size());
        } else {
            m_view[size_t(row)] = line.mid(pos, bar - pos);
            pos = bar + 1;
        }
    }
}

void FfaList::clearView() {
    const QString method = m_view[Method];
    m_view.fill(QString());
    m_view[Method] = method;
}

QString FfaList::buildLine() const {
    QString line = QString(m_view[SiteName]).replace(QLatin1Char('|'), QLatin1String("%7C")) +
                   QLatin1Char('=');
    for (int row : lineOrder()) {
        // A bar inside a value would shift every later field of the record.
        QString value = m_view[size_t(row)];
        line += value.replace(QLatin1Char('|'), QLatin1String("%7C"));
        line += QLatin1Char('|');
    }
    line.replace(QLatin1Char(' '), QLatin1Char('+'));
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    return line;
}

bool FfaList::storeView() {
    const QString name = m_view[SiteName];
    if (keyListContains(name))
        return false;
    m_lines.add(buildLine());
    const int row = m_keyList.add(name);
    m_keyText += asciiUpper(name.toUtf8());
    m_keyText += '\n';
    m_current = row;
    return true;
}

bool isCipheredListName(const QString& path) {
    return path.endsWith(QLatin1String(".chc"), Qt::CaseInsensitive);
}

QString newListName(const QString& path) {
    if (path.endsWith(QLatin1String(".hlx"), Qt::CaseInsensitive))
        return path.left(path.size() - 4) + QStringLiteral(".chc");
    return path;
}

QStringList loadFfaListFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError::cannotOpen(path);
    if (isCipheredListName(path))
        bytes = decipherEngineText(bytes);
    return engineTextLines(bytes);
}

void saveFfaListFile(const QStringList& lines, const QString& path) {
    QByteArray bytes = joinLinesCrLf(lines);
    if (isCipheredListName(path))
        bytes = encipherEngineText(bytes);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError::cannotWrite(path);
}

} // namespace lb
