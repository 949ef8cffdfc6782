#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <limits>
#include <optional>

// A T-SQL text as tokens for the SQLite dialect, and one statement of it with
// the edits the dialect makes.
namespace db::sqlite {

enum class Kind
{
    Space,
    Comment,
    Literal,    // '...'
    QuotedName, // [...] or "..."
    Word,
    Number,
    Symbol, // one character: punctuation, operators, parentheses
};

struct Token
{
    Kind kind;
    QStringView text;   // a part of the statement text, which outlives the tokens
    bool closed = true; // false for a literal, quoted name or comment cut off by the end
};

using Tokens = QList<Token>;

// The text as tokens, blanks and comments included: joined, they give the
// text back.
Tokens tokenize(const QString& text);
bool isSignificant(const Token& token);            // neither a blank nor a comment
bool isWord(const Token& token, const char* word); // in any letter case
bool isSymbol(const Token& token, char16_t symbol);
// Digits whose value is at most `largest`: by default an int constant, which
// SQL Server types a larger one is not (2147483648 is a decimal).
bool isInteger(const Token& token, qint64 largest = std::numeric_limits<qint32>::max());
QString joined(const Tokens& tokens);
// A name as columns are looked up: lower case, without its brackets or
// quotes, a doubled closing one read as one.
QString nameOf(const Token& token);

// One statement as tokens, with the positions of its significant tokens and
// of its parentheses, and the edits made to it.
class Statement
{
public:
    explicit Statement(Tokens tokens) : m_tokens(std::move(tokens))
    {
        const qsizetype n = m_tokens.size();
        m_enclosing.fill(-1, n);
        m_match.fill(-1, n);
        m_removed.fill(false, n);
        m_replacement.resize(n);
        m_after.resize(n);
        QList<qsizetype> open;
        for (qsizetype i = 0; i < n; ++i) {
            const Token& token = m_tokens[i];
            if (!token.closed)
                m_understood = false;
            if (isSymbol(token, u')')) {
                if (open.isEmpty()) {
                    m_understood = false;
                } else {
                    m_match[open.last()] = i;
                    m_match[i] = open.last();
                    open.removeLast();
                }
            }
            m_enclosing[i] = open.isEmpty() ? -1 : open.last();
            if (isSymbol(token, u'('))
                open.append(i);
            if (isSignificant(token))
                m_significant.append(i);
        }
        if (!open.isEmpty())
            m_understood = false;
    }

    // Balanced, with every literal, name and comment closed.
    bool wellFormed() const { return m_understood; }
    bool isEmpty() const { return m_significant.isEmpty(); }

    const Token& token(qsizetype i) const { return m_tokens[i]; }
    qsizetype size() const { return m_tokens.size(); }
    const QList<qsizetype>& significant() const { return m_significant; }

    // The significant token that follows token i, or -1.
    qsizetype nextSignificant(qsizetype i) const
    {
        for (++i; i < m_tokens.size(); ++i)
            if (isSignificant(m_tokens[i]))
                return i;
        return -1;
    }
    // The significant token before token i, or -1.
    qsizetype previousSignificant(qsizetype i) const
    {
        for (--i; i >= 0; --i)
            if (isSignificant(m_tokens[i]))
                return i;
        return -1;
    }
    qsizetype enclosing(qsizetype i) const { return m_enclosing[i]; }
    qsizetype match(qsizetype i) const { return m_match[i]; }

    void remove(qsizetype from, qsizetype to) // both included
    {
        for (qsizetype i = from; i <= to; ++i)
            m_removed[i] = true;
    }
    // Removes a run of significant tokens with the blanks just before it.
    void removeWithBlanksBefore(qsizetype from, qsizetype to)
    {
        if (from > 0 && m_tokens[from - 1].kind == Kind::Space)
            --from;
        remove(from, to);
    }
    void replace(qsizetype from, qsizetype to, const QString& text)
    {
        remove(from, to);
        m_replacement[from] = text;
    }
    void insertAfter(qsizetype i, const QString& text) { m_after[i] += text; }

    QString text() const
    {
        QString text;
        for (qsizetype i = 0; i < m_tokens.size(); ++i) {
            if (m_replacement[i])
                text += *m_replacement[i];
            else if (!m_removed[i])
                text += m_tokens[i].text;
            text += m_after[i];
        }
        return text;
    }

private:
    Tokens m_tokens;
    QList<qsizetype> m_significant;
    QList<qsizetype> m_enclosing; // innermost "(" around each token, or -1
    QList<qsizetype> m_match;     // the partner of each parenthesis
    QList<bool> m_removed;
    QList<std::optional<QString>> m_replacement;
    QStringList m_after;
    bool m_understood = true;
};

} // namespace db::sqlite
