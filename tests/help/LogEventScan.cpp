#include "LogEventScan.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace LogEventScan {

namespace {

QString collapsed(QString text) {
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

// The arguments of the call whose "(" is at `open`, split at the top-level commas;
// empty when the call does not end.
QStringList arguments(const QString& text, qsizetype open) {
    QStringList args;
    QString current;
    int depth = 0;
    QChar quote;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            current += c;
            if (c == u'\\' && i + 1 < text.size())
                current += text[++i];
            else if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')' && depth-- == 0) {
            args.append(current);
            return args;
        } else if (c == u',' && depth == 0) {
            args.append(current);
            current.clear();
            continue;
        }
        current += c;
    }
    return {};
}

QString typeName(const QString& argument) {
    static const QList<std::pair<QString, QString>> names = {
        {QStringLiteral("Success"), QStringLiteral("success")},
        {QStringLiteral("Error"), QStringLiteral("error")},
        {QStringLiteral("Warning"), QStringLiteral("warning")},
        {QStringLiteral("Information"), QStringLiteral("information")},
        {QStringLiteral("0"), QStringLiteral("success")},
        {QStringLiteral("1"), QStringLiteral("error")},
        {QStringLiteral("2"), QStringLiteral("warning")},
        {QStringLiteral("4"), QStringLiteral("information")}};
    const QString bare = argument.trimmed().section(QStringLiteral("::"), -1);
    for (const auto& [spelling, name] : names)
        if (bare == spelling)
            return name;
    return {};
}

// The first string literal of the text arguments that says something (five characters
// or more before any %1 placeholder).
QString firstWords(const QStringList& textArgs) {
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    static const QRegularExpression escape(QStringLiteral(R"(\\(.))"));
    static const QRegularExpression placeholder(QStringLiteral("%\\d"));
    for (const QString& arg : textArgs) {
        auto it = literal.globalMatch(arg);
        while (it.hasNext()) {
            QString words = it.next().captured(1);
            words.replace(escape, QStringLiteral("\\1"));
            words = collapsed(words.section(placeholder, 0, 0));
            if (words.size() >= 5)
                return words;
        }
    }
    return {};
}

} // namespace

void ScanText(const QString& text, const QString& file, Result& out) {
    static const QRegularExpression call(QStringLiteral(R"((\bbool\s+)?\bLogEvent\s*\()"));
    static const QRegularExpression number(QStringLiteral(R"(\b\d+\b)"));
    auto it = call.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const qsizetype lineStart = text.lastIndexOf(u'\n', m.capturedStart()) + 1;
        const bool commented =
            text.mid(lineStart, m.capturedStart() - lineStart).contains(QStringLiteral("//"));
        if (m.hasCaptured(1) || commented)
            continue; // the declaration, or a mention in a comment
        const QString where =
            QStringLiteral("%1:%2").arg(file).arg(text.left(m.capturedStart()).count(u'\n') + 1);
        const QStringList args = arguments(text, m.capturedEnd() - 1);
        Call found{where, {}, {}, {}};
        if (args.size() >= 3) {
            found.type = typeName(args[0]);
            auto ids = number.globalMatch(args[1]);
            while (ids.hasNext())
                found.ids.append(ids.next().captured().toInt());
            found.textStart = firstWords(args.mid(2));
        }
        if (found.type.isEmpty() || found.ids.isEmpty() || found.textStart.isEmpty())
            out.unreadable.append(where);
        else
            out.calls.append(found);
    }
}

Result ScanFolder(const QString& folder) {
    Result out;
    QDirIterator files(folder, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            out.unreadable.append(file.fileName());
            continue;
        }
        ScanText(QString::fromUtf8(file.readAll()), file.fileName(), out);
    }
    return out;
}

} // namespace LogEventScan
