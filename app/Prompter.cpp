#include "Prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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
