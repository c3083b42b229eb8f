#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "Crypto.h"
#include "QtText.h"
#include "RecordingMessenger.h"
#include "TempDir.h"
#include "WipeFile.h"

namespace enginetest {

inline const zqvcrypto::Argon2Params kCheapKdf{64, 1, 1};

// The build's secure deletion library, whatever folder the test runs from.
inline engine::Wiper buildLibraryWiper()
{
    static engine::ShredLibrary library(QString::fromLatin1(ZQVDOD_LIBRARY_PATH));
    return [](const engine::WipeTarget& target) { return library.wipe(target); };
}

// Encrypts a file at the cheap cost, as the dialogs under test would; a
// failure fails the calling test (wrap the call in ASSERT_NO_FATAL_FAILURE).
inline void makeEncrypted(const std::string& plainPath, const std::string& sealedPath, const QString& password)
{
    zqvcrypto::Crypto control;
    control.setKdfParams(kCheapKdf);
    bool success = false;
    control.DeriveKey(password, 1, 256)->EncryptFile(testsupport::q(plainPath), testsupport::q(sealedPath), success);
    ASSERT_TRUE(success);
}

// One operation dialog on a temporary folder, with cheap key derivation and
// the build's extractor and wiper.
template <typename Dialog> class DialogFixture : public ::testing::Test
{
protected:
    void open(const std::string& operand)
    {
        dialog = std::make_unique<Dialog>(testsupport::q(operand), messenger);
        dialog->CryptoCtrl().setKdfParams(kCheapKdf);
        dialog->CryptoCtrl().setStubPath(QString::fromLatin1(ZQVSFX_PATH));
        dialog->setWiper(buildLibraryWiper());
        loaded = dialog->load();
        if (loaded)
            dialog->show();
    }

    // Opens the dialog on a new file in the temporary folder.
    void openOnNewFile(const std::string& name, const std::string& content)
    {
        testsupport::writeFile(dir.file(name), content);
        open(dir.file(name));
        ASSERT_TRUE(loaded);
    }

    // Types the password into every password box the dialog has.
    void typePassword(const QString& first, const QString& again)
    {
        QTest::keyClicks(dialog->txtPassword1, first);
        if (dialog->txtPassword2 != nullptr)
            QTest::keyClicks(dialog->txtPassword2, again);
    }

    testsupport::TempDir dir;
    RecordingMessenger messenger;
    std::unique_ptr<Dialog> dialog;
    bool loaded = false;
};

} // namespace enginetest
