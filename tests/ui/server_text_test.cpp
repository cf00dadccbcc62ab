// Texts from the operator's server (the result's serial and time, the agreement and the
// announcement) are shown as they arrive: no label or memo reads them as rich text, so markup
// in them neither loads a picture from the machine nor makes a link.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>

#include "ui_fixture.h"

namespace kivota::test {
namespace {

// A picture on the local disk that a label reading its text as rich text would load and
// show at this size.
constexpr int kPictureSide = 120;

class ServerText : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        uiApplication();
        ASSERT_TRUE(dir_.isValid());
        const QString picture = dir_.filePath(QStringLiteral("probe.png"));
        QImage image(kPictureSide, kPictureSide, QImage::Format_RGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(picture));
        text_ = QString::fromUtf8(GetParam()).replace(QStringLiteral("PICTURE"), picture);
    }

    // Shown literally, the whole text takes its width on one line of the label's font; read
    // as rich text, the tags vanish from the width and a picture sets the height.
    static void expectLiteral(const QLabel& label, const QString& text) {
        EXPECT_EQ(label.text(), text);
        const QSize hint = label.sizeHint();
        EXPECT_GE(hint.width(), label.fontMetrics().horizontalAdvance(text) - 2) << label.objectName().toStdString();
        EXPECT_LT(hint.height(), kPictureSide) << label.objectName().toStdString();
    }

    static void expectLiteral(const QPlainTextEdit& memo, const QString& text) {
        EXPECT_EQ(memo.toPlainText(), text);
        for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                EXPECT_FALSE(it.fragment().charFormat().isAnchor());
                EXPECT_FALSE(it.fragment().charFormat().isImageFormat());
            }
        }
    }

    QTemporaryDir dir_;
    QString text_;
};

TEST_P(ServerText, ResultLabelsShowItLiterally) {
    FormFixture f;
    f.rs().resultFlags = text_.toStdString();
    f.rs().resultITime = text_.toStdString();
    f.toResults(5000, 1000);
    ASSERT_EQ(f.form().currentPage, PageResults);
    expectLiteral(*f.form().labelResultSerial, text_);
    expectLiteral(*f.form().labelResultTime, text_);
}

TEST_P(ServerText, AgreementAndAnnouncementShowItLiterally) {
    FormFixture f;
    f.rs().agreementText = text_.toStdString();
    f.rs().announcementText = text_.toStdString();
    f.toAgreement();
    expectLiteral(*f.form().MemoAnouncement, text_);
    f.form().ImgNextMouseDown();
    ASSERT_EQ(f.form().currentPage, PageBulletin);
    expectLiteral(*f.form().MemoAnouncement, text_);
}

INSTANTIATE_TEST_SUITE_P(Markup, ServerText,
                         ::testing::Values("<img src=\"PICTURE\">",
                                           "<a href=\"http://attacker.example/\">KV</a> 00001234",
                                           "<b>序號</b> <img src=PICTURE width=120 height=120> &lt;i&gt;"));

}  // namespace
}  // namespace kivota::test
