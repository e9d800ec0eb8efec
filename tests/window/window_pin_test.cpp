// PIN entry and the address field on the offscreen platform, typed and
// clicked as a user would.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include "client/mask_edit.h"
#include "tests/window/form_fixture.h"

namespace {

using windowtest::FormTest;

class PinTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ShowActive();
  }
  // Types one key into whatever has the focus.
  void Type(char key) { QTest::keyClick(QApplication::focusWidget(), key); }
  void Type(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
  void Open(TPanel* box) { QTest::mouseClick(box, Qt::LeftButton); }
  QString Captions() const {
    QString shown;
    for (TPanel* box : {form->PinPanel1, form->PinPanel2, form->PinPanel3, form->PinPanel4})
      shown += box->Caption().isEmpty() ? QString("_") : box->Caption();
    return shown;
  }
  // Exactly `edit` is shown, and it has the focus.
  void ExpectOpen(QLineEdit* edit) {
    for (QLineEdit* each : {form->PinEdit1, form->PinEdit2, form->PinEdit3, form->PinEdit4})
      EXPECT_EQ(each->isVisible(), each == edit) << each->objectName().toStdString();
    EXPECT_EQ(QApplication::focusWidget(), edit);
  }
};

TEST_F(PinTest, FourDigitsFillTheBoxesAndBox4ReopensAfter100ms) {
  Open(form->PinPanel1);
  ExpectOpen(form->PinEdit1);
  for (char digit : {'1', '2', '3', '4'}) Type(digit);
  EXPECT_EQ(Captions(), "1234");
  EXPECT_EQ(QApplication::focusWidget(), form->PinPanel4);
  EXPECT_FALSE(form->PinEdit4->isVisible());
  EXPECT_TRUE(form->Timer1->isActive());
  QTRY_VERIFY_WITH_TIMEOUT(form->PinEdit4->isVisible(), 1000);
  ExpectOpen(form->PinEdit4);
  EXPECT_EQ(form->PinEdit4->selectedText(), "4");
  EXPECT_FALSE(form->Timer1->isActive());
  EXPECT_EQ(form->GetPinCode(), "1234");
}

TEST_F(PinTest, ADigitTypedIntoTheReopenedBox4ReplacesTheFourth) {
  Open(form->PinPanel1);
  for (char digit : {'5', '6', '7', '8'}) Type(digit);
  QTRY_VERIFY_WITH_TIMEOUT(form->PinEdit4->hasFocus(), 1000);
  Type('9');
  EXPECT_EQ(form->GetPinCode(), "5679");
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_EQ(QApplication::focusWidget(), form->PinPanel4);
  QTRY_VERIFY_WITH_TIMEOUT(form->PinEdit4->hasFocus(), 1000);
  EXPECT_EQ(form->PinEdit4->selectedText(), "9");
}

TEST_F(PinTest, BackspaceEmptiesItsOwnBoxAndOpensThePreviousOne) {
  form->ShowPinCode("123");
  Open(form->PinPanel4);
  ExpectOpen(form->PinEdit4);
  Type(Qt::Key_Backspace);
  EXPECT_EQ(Captions(), "123_");
  ExpectOpen(form->PinEdit3);
  EXPECT_EQ(form->PinEdit3->selectedText(), "3");
  Type(Qt::Key_Backspace);
  EXPECT_EQ(Captions(), "12__");
  ExpectOpen(form->PinEdit2);
  EXPECT_EQ(form->PinEdit2->selectedText(), "2");
}

TEST_F(PinTest, BackspaceInBox1EmptiesItAndKeepsItOpen) {
  form->ShowPinCode("5");
  Open(form->PinPanel1);
  Type(Qt::Key_Backspace);
  EXPECT_EQ(Captions(), "____");
  ExpectOpen(form->PinEdit1);
  EXPECT_EQ(form->PinEdit1->text(), "");
}

TEST_F(PinTest, EnterClosesTheBoxAndAsksToConnectWithWhatIsThere) {
  form->ShowPinCode("12");
  Open(form->PinPanel2);
  Type(Qt::Key_Return);
  EXPECT_FALSE(form->PinEdit2->isVisible());
  // The connect handler's first step: the device list takes the focus.
  EXPECT_EQ(QApplication::focusWidget(), form->DeviceIDComboBox);
  EXPECT_EQ(form->GetPinCode(), "12");
}

TEST_F(PinTest, ALetterChangesNothing) {
  Open(form->PinPanel1);
  Type('a');
  EXPECT_EQ(Captions(), "____");
  ExpectOpen(form->PinEdit1);
  EXPECT_EQ(form->PinEdit1->text(), "");
}

TEST_F(PinTest, ClickingAnotherBoxClosesTheOpenOne) {
  form->ShowPinCode("123");
  Open(form->PinPanel1);
  ExpectOpen(form->PinEdit1);
  Open(form->PinPanel3);
  ExpectOpen(form->PinEdit3);
  EXPECT_EQ(form->PinEdit3->selectedText(), "3");
  Open(form->PinPanel4);
  ExpectOpen(form->PinEdit4);
  EXPECT_EQ(form->PinEdit4->text(), "");
  EXPECT_FALSE(form->PinEdit4->hasSelectedText());
}

TEST_F(PinTest, TheTimerTakesTheFocusBackToBox4) {
  Open(form->PinPanel1);
  for (char digit : {'1', '2', '3', '4'}) Type(digit);
  Open(form->PinPanel2);
  ExpectOpen(form->PinEdit2);
  QTRY_VERIFY_WITH_TIMEOUT(form->PinEdit4->hasFocus(), 1000);
  ExpectOpen(form->PinEdit4);
}

TEST_F(PinTest, ShowPinCodeFillsAtMostFourBoxes) {
  form->ShowPinCode("42");
  EXPECT_EQ(Captions(), "42__");
  form->ShowPinCode("987654");
  EXPECT_EQ(Captions(), "9876");
  EXPECT_EQ(form->GetPinCode(), "9876");
  form->ShowPinCode("");
  EXPECT_EQ(form->GetPinCode(), "");
}

TEST_F(PinTest, TheEditsTakeOnlyTwoDigits) {
  Open(form->PinPanel2);
  // The character still reaches the edit after the handler; it stays in the
  // now hidden edit and never in a caption.
  Type('7');
  EXPECT_EQ(Captions(), "_7__");
  EXPECT_EQ(form->PinEdit2->text(), "77");
  QTest::keyClicks(form->PinEdit2, "345");
  EXPECT_EQ(form->PinEdit2->text().size(), 2);
}

class AddressFieldTest : public PinTest {
 protected:
  void SetUp() override {
    PinTest::SetUp();
    form->DeviceIPEdit->setFocus();
    form->DeviceIPEdit->setCursorPosition(0);
  }
  void TypeText(const char* text) {
    for (const char* c = text; *c; ++c) Type(*c);
  }
};

TEST_F(AddressFieldTest, TypingFillsTheGroupsAndStepsOverTheDots) {
  TypeText("192.168.1.50");
  EXPECT_EQ(form->DeviceIPEdit->text(), "192.168.1  .50 ");
  TypeText("7x-");
  EXPECT_EQ(form->DeviceIPEdit->text(), "192.168.1  .507");
}

TEST_F(AddressFieldTest, ErasingBlanksDigitsAndKeepsTheDots) {
  TypeText("10.1.2.3");
  for (int i = 0; i < 4; ++i) Type(Qt::Key_Backspace);  // 3, a blank, the dot is stepped over, 2
  EXPECT_EQ(form->DeviceIPEdit->text(), "10 .1  .   .   ");
  form->DeviceIPEdit->setCursorPosition(0);
  Type(Qt::Key_Delete);
  EXPECT_EQ(form->DeviceIPEdit->text(), " 0 .1  .   .   ");
  form->DeviceIPEdit->selectAll();
  Type(Qt::Key_Backspace);
  EXPECT_EQ(form->DeviceIPEdit->text(), "   .   .   .   ");
}

TEST_F(AddressFieldTest, GivenAndPastedTextIsFormattedByTheTemplate) {
  form->DeviceIPEdit->setText("192.168.1.50");
  EXPECT_EQ(form->DeviceIPEdit->text(), "192.168.  1. 50");
  QApplication::clipboard()->setText("10.0.0.5");
  form->DeviceIPEdit->selectAll();
  QTest::keySequence(form->DeviceIPEdit, QKeySequence::Paste);
  EXPECT_EQ(form->DeviceIPEdit->text(), " 10.  0.  0.  5");
  form->DeviceIPEdit->clear();
  EXPECT_EQ(form->DeviceIPEdit->text(), "   .   .   .   ");
}

TEST_F(AddressFieldTest, OtherEditsAreBroughtBackToTheTemplate) {
  // Ctrl+Backspace deletes a word in a plain edit; here it erases one place.
  TypeText("12.34");
  QTest::keyClick(form->DeviceIPEdit, Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_TRUE(vantrel::FitsMask(vantrel::ParseEditMask("!099.099.099.099;1; "), form->DeviceIPEdit->text()));
  // Edits from outside the key handling, as the context menu makes them.
  form->DeviceIPEdit->setSelection(0, 5);
  form->DeviceIPEdit->insert("9");
  QString text = form->DeviceIPEdit->text();
  EXPECT_TRUE(vantrel::FitsMask(vantrel::ParseEditMask("!099.099.099.099;1; "), text)) << text.toStdString();
  form->DeviceIPEdit->setSelection(4, 4);
  form->DeviceIPEdit->del();
  text = form->DeviceIPEdit->text();
  EXPECT_TRUE(vantrel::FitsMask(vantrel::ParseEditMask("!099.099.099.099;1; "), text)) << text.toStdString();
}

}  // namespace
