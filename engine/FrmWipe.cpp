#include "FrmWipe.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

#include "CommandLine.h"
#include "DialogKeys.h"
#include "EngineMessages.h"
#include "FormParts.h"
#include "OperationDone.h"
#include "PathElide.h"
#include "SizeText.h"

namespace engine {
namespace {

constexpr int kPathRole = Qt::UserRole;

QString notWipedText(const QStringList& paths)
{
    return QLatin1String("These files could not be wiped and are still on the disk:\n\n") +
           paths.join(QLatin1Char('\n'));
}

QString changedText(const QStringList& paths)
{
    return QLatin1String("These files were replaced or changed after they were listed, so they were not wiped and "
                         "were left as they are:\n\n") +
           paths.join(QLatin1Char('\n'));
}

// Draws a path with the middle of its folder left out when the column is too
// narrow, so the file name always shows.
class PathDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QWidget* view = option->widget;
        const QStyle* style = view != nullptr ? view->style() : nullptr;
        const int margin = style != nullptr ? style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1 : 3;
        option->text = elidePathKeepingName(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
        option->textElideMode = Qt::ElideNone;
    }
};

QString libraryMissingText()
{
    return QLatin1String("The secure deletion library ") + defaultShredLibraryPath() +
           QLatin1String(" could not be loaded. The files that are still listed were not wiped.");
}

} // namespace

FrmWipe::FrmWipe(QString operand, Messenger& messenger, Wiper wiper, QWidget* parent)
    : QDialog(parent)
    , m_operand(std::move(operand))
    , m_messenger(messenger)
    , m_wiper(std::move(wiper))
{
    setObjectName(QStringLiteral("frmWipe"));
    setWindowTitle(QStringLiteral("ZQV - Wipe"));

    auto* label = new QLabel(QStringLiteral("Files to &wipe:"), this);
    m_lvFiles = new QTreeWidget(this);
    m_lvFiles->setObjectName(QStringLiteral("lvFiles"));
    m_lvFiles->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Size")});
    m_lvFiles->setRootIsDecorated(false);
    m_lvFiles->setUniformRowHeights(true);
    m_lvFiles->setSelectionMode(QAbstractItemView::NoSelection);
    m_lvFiles->header()->setStretchLastSection(false);
    m_lvFiles->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_lvFiles->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_lvFiles->setItemDelegateForColumn(0, new PathDelegate(m_lvFiles));
    label->setBuddy(m_lvFiles);
    // The label's mnemonic only moves the focus; keep the list's caption exact.
    label->setText(QStringLiteral("Files to wipe:"));

    auto* warning = new QLabel(QStringLiteral("Wiped files are not recoverable."), this);
    warning->setObjectName(QStringLiteral("lblWarning"));

    m_cmdShred = new QPushButton(QStringLiteral("&Wipe"), this);
    m_cmdShred->setObjectName(QStringLiteral("cmdShred"));
    m_cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    // Neither is a default: Enter presses only the button that has the focus.
    m_cmdShred->setAutoDefault(false);
    m_cmdClose->setAutoDefault(false);

    QHBoxLayout* buttons = zqvgui::makeButtonRow({m_cmdShred, m_cmdClose});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_lvFiles, 1);
    layout->addWidget(warning);
    layout->addLayout(buttons);

    setTabOrder(m_lvFiles, m_cmdShred);
    setTabOrder(m_cmdShred, m_cmdClose);
    resize(560, 320);

    m_runner.setControls({m_cmdShred, m_cmdClose});
    connect(m_cmdShred, &QPushButton::clicked, this, &FrmWipe::cmdShred_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &FrmWipe::close);
}

FrmWipe::PathListing FrmWipe::listPaths(const QString& operand)
{
    // A '?' is a character a name may hold: an operand naming an entry is that entry.
    struct stat info
    {
    };
    if (!operand.contains(QLatin1Char('?')) || ::lstat(QFile::encodeName(operand).constData(), &info) == 0)
        return {{operand}, {}};
    QStringList pieces = operand.split(QLatin1Char('?'));
    pieces.removeFirst();
    PathListing listing;
    for (const QString& piece : std::as_const(pieces)) {
        if (piece.startsWith(QLatin1Char('/')))
            listing.paths << piece;
        else if (!piece.isEmpty())
            listing.refused << piece;
    }
    return listing;
}

void FrmWipe::addRow(const QString& path, const QString& sizeText)
{
    // What the path names now is what the user is asked about, and all Wipe may take.
    WipeTarget target;
    if (targetOf(path, target))
        m_targets.insert(path, target);
    auto* item = new QTreeWidgetItem(m_lvFiles, {path, sizeText});
    item->setData(0, kPathRole, path);
    item->setToolTip(0, path);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}

bool FrmWipe::load()
{
    zqvgui::centreOnScreen(this);
    const PathListing listing = listPaths(m_operand);
    m_paths = listing.paths;
    const bool singleForm = m_paths.size() == 1 && m_paths.front() == m_operand && listing.refused.isEmpty();
    if (singleForm) {
        const QFileInfo info(m_operand);
        if (!info.exists()) {
            m_messenger.message(this,
                                programTitle(),
                                QLatin1String("The size of ") + m_operand + QLatin1String(" cannot be read."),
                                MessageIcon::Critical);
            return false;
        }
        // A folder has no size to show; Wipe passes it over.
        addRow(m_operand, info.isDir() ? QString() : SizeText(info.size()));
        return true;
    }
    for (const QString& path : std::as_const(m_paths)) {
        if (!IsNotPlainFile(path))
            addRow(path, SizeText(QFileInfo(path).size()));
    }
    if (!listing.refused.isEmpty()) {
        m_messenger.message(this,
                            programTitle(),
                            QLatin1String("These entries of the list are not complete paths from the root folder, "
                                          "so they were left out and will not be wiped:\n\n") +
                                listing.refused.join(QLatin1Char('\n')),
                            MessageIcon::Warning);
    }
    return true;
}

void FrmWipe::cmdShred_Click()
{
    if (isBusy())
        return;
    m_notWiped.clear();
    m_removedNotOverwritten.clear();
    m_changed.clear();
    m_libraryMissing = false;

    // Only listed files are wiped, in the order of the list; each row is
    // updated on this thread as its file is done.
    QStringList paths;
    for (int row = 0; row < m_lvFiles->topLevelItemCount(); ++row)
        paths << m_lvFiles->topLevelItem(row)->data(0, kPathRole).toString();
    m_runner.run([this, paths, targets = m_targets, wiper = m_wiper] {
        for (const QString& path : paths) {
            if (IsNotPlainFile(path)) {
                // Passed over: gone meanwhile, or no longer a file we may open.
                const bool gone = !QFileInfo(path).exists() && !QFileInfo(path).isSymLink();
                zqvgui::postTo(this,
                               [this, path, gone] { gone ? removeRow(path) : fileDone(path, WipeResult::NotWiped); });
                continue;
            }
            const auto listed = targets.constFind(path);
            if (listed == targets.constEnd()) {
                // Named nothing when listed, but something now: not what was shown.
                zqvgui::postTo(this, [this, path] { fileDone(path, WipeResult::Changed); });
                continue;
            }
            const WipeResult result = wiper(*listed);
            zqvgui::postTo(this, [this, path, result] { fileDone(path, result); });
            if (result == WipeResult::LibraryMissing)
                break;
        }
    });
    allDone();
}

void FrmWipe::fileDone(const QString& path, WipeResult result)
{
    if (result == WipeResult::LibraryMissing) {
        m_libraryMissing = true;
        return;
    }
    if (result == WipeResult::NotWiped) {
        m_notWiped << path;
        return;
    }
    if (result == WipeResult::Changed) {
        m_changed << path;
        return;
    }
    // Removed, overwritten or not: the row goes, and the user learns which.
    const QString notOverwritten = removedNotOverwrittenText(path, result);
    if (!notOverwritten.isEmpty())
        m_removedNotOverwritten << notOverwritten;
    removeRow(path);
}

void FrmWipe::removeRow(const QString& path)
{
    for (int row = 0; row < m_lvFiles->topLevelItemCount(); ++row) {
        if (m_lvFiles->topLevelItem(row)->data(0, kPathRole).toString() == path) {
            delete m_lvFiles->takeTopLevelItem(row);
            return;
        }
    }
}

void FrmWipe::allDone()
{
    if (m_libraryMissing) {
        m_messenger.message(this, programTitle(), libraryMissingText(), MessageIcon::Critical);
    } else if (!m_notWiped.isEmpty() || !m_removedNotOverwritten.isEmpty() || !m_changed.isEmpty()) {
        QStringList parts = m_removedNotOverwritten;
        if (!m_notWiped.isEmpty())
            parts << notWipedText(m_notWiped);
        if (!m_changed.isEmpty())
            parts << changedText(m_changed);
        m_messenger.message(this, programTitle(), parts.join(QLatin1String("\n\n")), MessageIcon::Warning);
    }
    // Rows left over are files that are still there: the dialog stays so the
    // user sees them.
    const bool everythingGone = m_lvFiles->topLevelItemCount() == 0;
    emit wipeFinished();
    if (everythingGone) {
        markOperationDone();
        close();
    }
}

void FrmWipe::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmWipe::keyPressEvent(QKeyEvent* event)
{
    // No default button: Enter never starts a wipe unless Wipe has the focus.
    if (!zqvgui::handleEnterKey(this, event, nullptr))
        QDialog::keyPressEvent(event);
}

void FrmWipe::reject()
{
    if (!isBusy())
        QDialog::reject();
}

} // namespace engine
