#pragma once

#include "common/Catalogue.h"
#include "common/Session.h"

#include <QString>

namespace db {
class Query;
}

// The main window's load: the session from the settings file and the
// database, and the catalogue of the designed table. It is the session's one
// writer; the window and the subsystems only read it. Each step throws when
// its statement fails, and the session keeps what the steps before it read.
class SessionLoad final
{
public:
    const Session& session() const { return m_session; }

    // The sign-in's settings: the connection, the operator, the program's
    // folder.
    void readSettings();
    // fid_title lists the data columns in design order, then the "pic" and
    // "dbfile" markers of the attachment groups that exist.
    static Catalogue readCatalogue(db::Query& query);
    // The operator's alias, empty when the operator has no row; the session
    // takes the operator's write right.
    QString readOperator(db::Query& query);
    // The title from the options, "Vardenix" when there is none.
    static QString readTitle(db::Query& query);
    // The page size from the options, 50 unless it is a positive number.
    void readPageSize(db::Query& query);
    // A page size the settings dialog confirmed.
    void setPageSize(int pageSize);

private:
    Session m_session;
};
