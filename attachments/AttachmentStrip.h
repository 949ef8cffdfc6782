#pragma once

#include "ShownThumbnails.h"
#include "common/Session.h"

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QToolButton;
class QWidget;

class CurrentRecord;

// The attachment strip beside the record grid: the current record's document
// (name and type icon) and picture thumbnail, and the commands that import,
// export and open them. It follows the record grid's current row.
class AttachmentStrip final : public QObject
{
    Q_OBJECT

public:
    // The main window's controls the strip drives.
    struct Controls
    {
        QLabel* PnlFileName = nullptr; // the document's name
        QLabel* ImgDoc = nullptr;      // type icons: .doc, .xls, .pdf, any other
        QLabel* ImgXLS = nullptr;
        QLabel* ImgPDF = nullptr;
        QLabel* ImgOther = nullptr;
        QLabel* ImagePic = nullptr;          // the thumbnail
        QToolButton* SpeedButton1 = nullptr; // document import
        QToolButton* SpeedButton2 = nullptr; // document export
        QAction* N2 = nullptr;               // picture import
        QAction* E1 = nullptr;               // picture export
        QAction* V1 = nullptr;               // picture view
    };

    // `record` is the record grid's current row, which the strip shows.
    AttachmentStrip(const Controls& controls, const Session& session, const CurrentRecord& record,
                    QWidget& window);

    // Which groups the designed table has; the strip shows only those.
    void setGroups(bool pictures, bool documents);

    // Refreshes the strip from the current row; called on every move, page
    // load and field change. It throws when the thumbnail cannot be fetched.
    void showCurrentRecord();
    void importDocument();
    void exportDocument();
    void openDocument();
    void importPicture();
    void exportPicture();
    void viewPicture();

    // The bare names of the current row's attachments.
    const QString& CurrentDocumentName() const { return m_documentName; }
    const QString& CurrentPictureName() const { return m_pictureName; }

private:
    void connectControls();
    void showDocumentName(const QString& name);
    void loadThumbnail();
    // The stored bytes of the current row's field, to a file the operator
    // chooses.
    void exportStored(const QString& field, const QString& presetName, const QString& filter,
                      const QString& doneMessage);
    // A copy of the stored bytes in the temp folder, opened by the desktop.
    void viewStored(const QString& field, const QString& name, const QString& missingMessage);

    Controls m_controls;
    const Session& m_session;
    const CurrentRecord& m_record;
    QWidget& m_window;
    bool m_pictures = false;
    bool m_documents = false;
    QString m_documentName;
    QString m_pictureName;
    ShownThumbnails m_shownThumbnails;
};
