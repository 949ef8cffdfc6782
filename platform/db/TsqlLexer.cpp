#include "TsqlLexer.h"

namespace db::tsql {

namespace {

Reach quoted(const QString& text, qsizetype start, Span span, QChar close)
{
    for (qsizetype i = start + 1; i < text.size(); ++i) {
        if (text[i] != close)
            continue;
        if (i + 1 < text.size() && text[i + 1] == close) {
            ++i;
            continue;
        }
        return {span, i + 1, true};
    }
    return {span, text.size(), false};
}

Reach blockComment(const QString& text, qsizetype start)
{
    int depth = 1;
    qsizetype i = start + 2;
    while (i + 1 < text.size()) {
        if (text[i] == u'/' && text[i + 1] == u'*') {
            ++depth;
            i += 2;
        } else if (text[i] == u'*' && text[i + 1] == u'/') {
            i += 2;
            if (--depth == 0)
                return {Span::BlockComment, i, true};
        } else {
            ++i;
        }
    }
    return {Span::BlockComment, text.size(), false};
}

} // namespace

Reach reachAt(const QString& text, qsizetype i)
{
    const QChar c = text[i];
    const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
    if (c == u'-' && next == u'-') {
        const qsizetype end = text.indexOf(u'\n', i + 2);
        return {Span::LineComment, end < 0 ? text.size() : end, true};
    }
    if (c == u'/' && next == u'*')
        return blockComment(text, i);
    if (c == u'\'')
        return quoted(text, i, Span::Literal, u'\'');
    if (c == u'[')
        return quoted(text, i, Span::QuotedName, u']');
    if (c == u'"')
        return quoted(text, i, Span::QuotedName, u'"');
    return {Span::Code, i, true};
}

} // namespace db::tsql
