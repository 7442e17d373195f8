#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "ui/mainwindow.h"
#include "ui/neworderwid.h"

// Drives the real main window the way the operator does.
namespace windowdriver {

// Logs in through the form; the new-order page after it.
inline neworderwid *logIn(MainWindow &window)
{
    window.findChild<QLineEdit *>("phoneEdit")->setText("13800000001");
    window.findChild<QLineEdit *>("passwordEdit")->setText("demo1234");
    window.findChild<QPushButton *>("loginButton")->click();
    return window.findChild<neworderwid *>("checkProductWid");
}

// Searches the product and takes the first value of each property.
inline void chooseProduct(neworderwid *page, const QString &name)
{
    auto *search = page->findChild<QLineEdit *>("selectProductEdit");
    search->setText(name);
    page->on_selectProductEdit_textEdited(search->text());
    page->on_selectBtn_clicked();
    for (QComboBox *combo : page->findChildren<QComboBox *>())
        combo->setCurrentIndex(0);
}

} // namespace windowdriver
