#include "engine/text/FileNames.h"

#include <QCoreApplication>
#include <QStringList>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(FileNames)
};
}  // namespace

namespace qm {
namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

QString Escaped(char16_t c) {
    switch (c) {
    case 0: return QStringLiteral("\\0");
    case u'\t': return QStringLiteral("\\t");
    case u'\r': return QStringLiteral("\\r");
    case u'\n': return QStringLiteral("\\n");
    default: return QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
    }
}

QString ControlProblem(const QString& text) {
    for (const QChar c : text)
        if (IsControl(c.unicode())) return Texts::tr("制御文字 (%1) を含みます").arg(Escaped(c.unicode()));
    return {};
}

// < > : " | ? * (the separators are looked at apart).
QString WindowsCharProblem(QStringView part) {
    for (const QChar c : part)
        if (QStringView(u"<>:\"|?*").contains(c))
            return Texts::tr("Windows で使えない文字 (%1) を含みます").arg(c);
    return {};
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (also with ¹ ² ³), CONIN$ and CONOUT$:
// Windows takes such a name, with any extension and trailing spaces before
// it, as the device.
QString ReservedProblem(QStringView part) {
    QStringView base = part.left(part.indexOf(u'.') < 0 ? part.size() : part.indexOf(u'.'));
    while (base.endsWith(u' ')) base.chop(1);
    const QString upper = base.toString().toUpper();
    bool reserved = upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL" ||
                    upper == u"CONIN$" || upper == u"CONOUT$";
    if (upper.size() == 4 && (upper.startsWith(u"COM") || upper.startsWith(u"LPT"))) {
        const char16_t d = upper.at(3).unicode();
        reserved = (d >= u'1' && d <= u'9') || d == u'\u00B9' || d == u'\u00B2' || d == u'\u00B3';
    }
    if (!reserved) return {};
    return Texts::tr("Windows の予約名 (%1) です").arg(base);
}

QString TrailingProblem(QStringView part) {
    if (part.endsWith(u'.') || part.endsWith(u' '))
        return Texts::tr("末尾が \".\" か空白です (Windows では使えません)");
    return {};
}

// One folder name of a Windows path.
QString WindowsPartProblem(QStringView part) {
    if (part == u"." || part == u"..") return {};
    QString p = WindowsCharProblem(part);
    if (p.isEmpty()) p = ReservedProblem(part);
    if (p.isEmpty()) p = TrailingProblem(part);
    return p;
}

}  // namespace

QString ShownText(const QString& text, qsizetype maxLength) {
    QString out;
    const qsizetype n = std::min(text.size(), maxLength);
    out.reserve(n + 8);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (IsControl(c)) out += Escaped(c);
        else out += QChar(c);
    }
    if (text.size() > maxLength) out += QStringLiteral("…");
    return out;
}

QString HeaderProblem(const QString& header) {
    QString p = ControlProblem(header);
    if (!p.isEmpty()) return p;
    if (header.contains(u'/') || header.contains(u'\\')) return Texts::tr("フォルダの区切り (/ \\) を含みます");
    if (header.contains(QLatin1String(".."))) return Texts::tr("\"..\" を含みます");
    if (!(p = WindowsCharProblem(header)).isEmpty()) return p;
    if (!(p = ReservedProblem(header)).isEmpty()) return p;
    if (!(p = TrailingProblem(header)).isEmpty()) return p;
    if (header.size() > kHeaderMaxLength || header.toUtf8().size() > kHeaderMaxLength)
        return Texts::tr("長すぎます (%1 文字まで)").arg(kHeaderMaxLength);
    return {};
}

QString FolderProblem(const QString& folder, HostSystem system) {
    if (folder.isEmpty()) return Texts::tr("空です");
    QString p = ControlProblem(folder);
    if (!p.isEmpty() || system != HostSystem::Windows) return p;
    QStringView rest(folder);
    // "\\?\C:\..." and "\\?\UNC\server\share\...": the prefix is the system's.
    if (rest.startsWith(u"\\\\?\\") || rest.startsWith(u"//?/")) rest = rest.mid(4);
    // A drive's colon: "C:\meas" or "C:meas".
    if (rest.size() >= 2 && rest.at(1) == u':' && rest.at(0).unicode() < 0x80 && rest.at(0).isLetter())
        rest = rest.mid(2);
    for (const QStringView part : rest.split(u'\\') ) {
        for (const QStringView name : part.split(u'/')) {
            if (name.isEmpty()) continue;
            if (!(p = WindowsPartProblem(name)).isEmpty()) return p;
        }
    }
    return {};
}

QString OutputNameProblem(const QString& folder, const QString& header, HostSystem system) {
    if (const QString p = FolderProblem(folder, system); !p.isEmpty())
        return Texts::tr("出力フォルダ \"%1\" は使えません: %2").arg(ShownText(folder), p);
    if (const QString p = HeaderProblem(header); !p.isEmpty())
        return Texts::tr("名称ヘッダ \"%1\" は使えません: %2").arg(ShownText(header), p);
    return {};
}

}  // namespace qm
