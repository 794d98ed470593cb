#include "Prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTreeView>
#include <QMessageBox>

namespace {

// Qt's file dialog makes its date column as wide as a date with a two-digit
// year, which cuts the Japanese short format; the column is fitted to the
// dates shown whenever a folder has been read.
void FitDateColumn(QFileDialog& dialog)
{
    auto* model = dialog.findChild<QFileSystemModel*>();
    auto* view = dialog.findChild<QTreeView*>();
    if (model == nullptr || view == nullptr)
        return;
    constexpr int dateColumn = 3;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view,
                     [view] { view->resizeColumnToContents(dateColumn); });
}

} // namespace

bool WidgetPrompter::AskYesNo(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void WidgetPrompter::ShowMessage(QWidget* owner, const QString& text, const QString& caption, Icon icon)
{
    const QMessageBox::Icon qtIcon = icon == Icon::Warning ? QMessageBox::Warning
        : icon == Icon::Stop                               ? QMessageBox::Critical
                                                           : QMessageBox::NoIcon;
    QMessageBox box(qtIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString WidgetPrompter::AskSaveFileName(QWidget* owner)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    FitDateColumn(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void WidgetPrompter::BeginWait()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void WidgetPrompter::EndWait()
{
    QApplication::restoreOverrideCursor();
}
