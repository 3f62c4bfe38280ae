// SPDX-License-Identifier: MIT
#include "app/rampdialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

namespace gaspuff {

bool askramp(QWidget* parent, QStringList& texts) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("rampdialog"));
    dialog.setWindowTitle(QStringLiteral("Add ramp"));
    auto* form = new QFormLayout(&dialog);
    QLineEdit* boxes[4];
    const char* captions[] = {"Start time (0-999 ms)", "Start level (0-100%)",
                              "End time (0-999 ms)", "End level (0-100%)"};
    for (int i = 0; i < 4; ++i) {
        boxes[i] = new QLineEdit(texts.value(i), &dialog);
        form->addRow(QString::fromLatin1(captions[i]), boxes[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    texts.clear();
    for (QLineEdit* box : boxes) texts << box->text();
    return true;
}

}  // namespace gaspuff
