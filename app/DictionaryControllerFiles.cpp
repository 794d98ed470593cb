// Dictionary files: a file read is merged, Save writes the list.
#include "DictionaryController.h"

#include "DictionaryReader.h"
#include "DictionaryWriter.h"
#include "Prompter.h"
#include "Replacer.h"

#include <QApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <new>

void DictionaryController::LoadDictionary(const QString& path)
{
    DictionaryLoadStatus status;
    {
        WaitCursor wait(m_prompter);
        bool added = false;
        try {
            status = LoadDictionaryFile(QFile::encodeName(path).toStdString(), m_replacer);
            added = status == DictionaryLoadStatus::Ok || status == DictionaryLoadStatus::Incomplete;
            if (added) {
                RefreshList();
                m_replacer.CompileAhead(); // so that the first Replace does not wait for it
            }
        } catch (const std::bad_alloc&) {
            // A file larger than memory (a disk image dropped by mistake) adds
            // nothing and is as unreadable as a missing file. Pairs that are
            // in but not yet listed make it a file not read to its end; the
            // list shows what the refresh got to.
            status = added ? DictionaryLoadStatus::Incomplete : DictionaryLoadStatus::CannotOpen;
        }
    }
    const QString caption = QApplication::applicationName();
    if (status == DictionaryLoadStatus::CannotOpen)
        m_prompter.ShowMessage(m_owner, QStringLiteral("辞書ファイル %1 を開けませんでした。").arg(path), caption,
                               Prompter::Icon::Warning);
    else if (status == DictionaryLoadStatus::Incomplete)
        m_prompter.ShowMessage(m_owner, QStringLiteral("辞書ファイル %1 を最後まで読み込めませんでした。").arg(path), caption,
                               Prompter::Icon::Warning);
    else if (status == DictionaryLoadStatus::NoBom)
        m_prompter.ShowMessage(m_owner, QStringLiteral("BOM付きUTF16LEで保存し直してください。"), caption,
                               Prompter::Icon::Warning);
}

void DictionaryController::SaveDictionary()
{
    const QString path = m_prompter.AskSaveFileName(m_owner);
    if (path.isEmpty())
        return;
    const std::string file = QFile::encodeName(path).toStdString();
    std::string error;
    bool saved;
    {
        WaitCursor wait(m_prompter);
        try {
            saved = WriteTextFile(file, BuildDictionaryText(m_replacer.m_entries), &error, m_fileWrite);
        } catch (const std::bad_alloc&) {
            // The file's text is built whole before anything is written.
            saved = false;
            error = file + ": " + std::strerror(ENOMEM);
        }
    }
    if (!saved)
        m_prompter.ShowMessage(m_owner,
                                QStringLiteral("辞書ファイルを保存できませんでした。\n%1")
                                    .arg(QString::fromLocal8Bit(error.data(), qsizetype(error.size()))),
                                QApplication::applicationName(), Prompter::Icon::Stop);
}
