#pragma once

#include <QDialog>
#include <QHash>
#include <QStringList>
#include <functional>

#include "EngineMessages.h"
#include "WipeFile.h"
#include "WorkRunner.h"

class QPushButton;
class QTreeWidget;

namespace engine {

// Lists the files about to be destroyed and wipes them on request.
class FrmWipe : public QDialog
{
    Q_OBJECT

public:
    using Wiper = engine::Wiper;

    FrmWipe(QString operand, Messenger& messenger, Wiper wiper = WipeFile, QWidget* parent = nullptr);

    // Fills the list from the operand. False when the dialog cannot be shown;
    // the user has then been told why.
    [[nodiscard]] bool load();

    // The path list. An operand that names an existing entry, or holds no
    // '?', is the one path; otherwise every piece after the first '?' is one
    // path, and a piece that is not an absolute path is refused (never taken
    // from the working folder). Empty pieces are neither.
    struct PathListing
    {
        QStringList paths;
        QStringList refused;
    };
    [[nodiscard]] static PathListing listPaths(const QString& operand);
    [[nodiscard]] static QStringList pathList(const QString& operand) { return listPaths(operand).paths; }

    [[nodiscard]] bool isBusy() const { return m_runner.isBusy(); }

signals:
    void wipeFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cmdShred_Click();
    void fileDone(const QString& path, WipeResult result);
    void allDone();
    void removeRow(const QString& path);
    void addRow(const QString& path, const QString& sizeText);

    QString m_operand;
    Messenger& m_messenger;
    Wiper m_wiper;
    QStringList m_paths;
    QStringList m_notWiped;
    QStringList m_removedNotOverwritten;
    QStringList m_changed;
    // What each listed path named when it was listed; only that is wiped.
    QHash<QString, WipeTarget> m_targets;
    bool m_libraryMissing = false;
    zqvgui::WorkRunner m_runner;

    QTreeWidget* m_lvFiles = nullptr;
    QPushButton* m_cmdShred = nullptr;
    QPushButton* m_cmdClose = nullptr;
};

} // namespace engine
