#include "ImportReadBack.h"

#include "Attachments.h"
#include "common/EngineMessage.h"
#include "common/FreshConnection.h"
#include "common/MessageBox.h"
#include "platform/db/DbError.h"
#include "platform/db/Engine.h"
#include "platform/db/Query.h"

#include <QIODevice>
#include <cstring>

namespace Attachments {

bool RecordHoldsImport(const QString& connectionString, const ImportedAttachment& import,
                       QIODevice& content)
{
    FreshConnection fresh(connectionString, FreshConnection::Mode::Prepare);
    db::Query& query = fresh.query();
    query.setSql(QStringLiteral("select %1 from  fid_Main where id=").arg(import.nameColumn) +
                 import.key);
    query.open();
    if (query.eof() || query.text(0) != import.storedName)
        return false;

    // The stored bytes are compared a piece at a time with the content, so
    // that a big document is never held twice.
    if (!content.seek(0))
        return false;
    bool same = true;
    QByteArray expected;
    const bool found = fresh.connection().engine().readBlob(
        QStringLiteral("select %1 from  fid_Main where id=").arg(import.blobColumn) + import.key,
        [&](const char* bytes, qint64 size) {
            if (!same)
                return;
            expected.resize(size);
            same = content.read(expected.data(), size) == size &&
                   std::memcmp(expected.constData(), bytes, static_cast<size_t>(size)) == 0;
        },
        {});
    return found && same && content.atEnd();
}

void ReportImportAfterFailedCommit(const QString& connectionString,
                                   const ImportedAttachment& import, QIODevice& content,
                                   const QString& noun, const QString& commitError,
                                   const QString& doneMessage)
{
    const QString answer = QStringLiteral("\n\n提交时: ") + EngineMessage::forOperator(commitError);
    bool kept = false;
    try {
        kept = RecordHoldsImport(connectionString, import, content);
    } catch (const db::DbError& error) {
        throw Refusal(QStringLiteral("提交导入时出错，读回这条记录也没有成功，不知道%1是否已导入。"
                                     "请点管理/查看刷新后查看。")
                          .arg(noun) +
                      answer + QStringLiteral("\n读回时: ") +
                      EngineMessage::forOperator(error.message()));
    }
    if (!kept)
        throw Refusal(
            QStringLiteral("提交导入时出错。读回这条记录后确认：%1没有导入，记录保持原样。")
                .arg(noun) +
            answer);
    MessageBox::Show(QStringLiteral("提交导入时出错，但读回这条记录后确认：") + doneMessage);
}

} // namespace Attachments
