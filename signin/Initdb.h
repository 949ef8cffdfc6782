#pragma once

#include "signin/FirstRunSchema.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace Ui {
class TInitdbBox;
}

// The designer of the data table, shown once on a database without the
// program's tables. After "确定" it holds the create statement of fid_main
// and the statements that create and fill fid_title.
class TInitdbBox final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxColumns = 24;

    explicit TInitdbBox(QWidget* parent = nullptr);
    ~TInitdbBox() override;

    bool Confirmed = false;
    QString MainTableSql;
    QString TitleTableSql;

    // Shows as many column rows as the column count says.
    void showColumnRows();
    void confirm();
    void cancel();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void findRows();
    QString refusedTitleMessage(int columnCount) const;

    std::unique_ptr<Ui::TInitdbBox> ui;
    // Row n of the designer lives at index n - 1.
    std::array<QLineEdit*, MaxColumns> TitleEdits{};
    std::array<QComboBox*, MaxColumns> TypeBoxes{};
    std::array<QSpinBox*, MaxColumns> LengthSpins{};
};

extern TInitdbBox* InitdbBox;
