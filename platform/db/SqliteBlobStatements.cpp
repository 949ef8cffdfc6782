#include "SqliteBlobStatements.h"

#include "SqliteTokens.h"

namespace db::sqlite {

namespace {

bool isName(const Token& token)
{
    return token.kind == Kind::Word || token.kind == Kind::QuotedName;
}

} // namespace

std::optional<BlobStatement> blobUpdate(const QString& statement)
{
    const Statement s(tokenize(statement));
    const QList<qsizetype>& sig = s.significant();
    // UPDATE t SET c = : file ...
    if (!s.wellFormed() || sig.size() < 7 || !isWord(s.token(sig[0]), "UPDATE") ||
        !isName(s.token(sig[1])) || !isWord(s.token(sig[2]), "SET") || !isName(s.token(sig[3])) ||
        !isSymbol(s.token(sig[4]), u'=') || !isSymbol(s.token(sig[5]), u':') ||
        !isWord(s.token(sig[6]), "file"))
        return std::nullopt;
    // One blob assigned: any other ":file" would be left without its bytes.
    for (qsizetype k = 7; k + 1 < sig.size(); ++k)
        if (isSymbol(s.token(sig[k]), u':') && isWord(s.token(sig[k + 1]), "file"))
            return std::nullopt;
    return BlobStatement{nameOf(s.token(sig[1])), nameOf(s.token(sig[3])),
                         statement + QStringLiteral(" RETURNING rowid")};
}

std::optional<BlobStatement> blobSelect(const QString& statement)
{
    Statement s(tokenize(statement));
    const QList<qsizetype>& sig = s.significant();
    // SELECT c FROM t ...
    if (!s.wellFormed() || sig.size() < 4 || !isWord(s.token(sig[0]), "SELECT") ||
        !isName(s.token(sig[1])) || !isWord(s.token(sig[2]), "FROM") || !isName(s.token(sig[3])))
        return std::nullopt;
    const QString column = nameOf(s.token(sig[1]));
    s.replace(sig[1], sig[1],
              QStringLiteral("rowid, typeof(") + s.token(sig[1]).text.toString() + u')');
    return BlobStatement{nameOf(s.token(sig[3])), column, s.text()};
}

} // namespace db::sqlite
