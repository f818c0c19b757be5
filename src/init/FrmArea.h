// The area picker: shows the areas of the current play list's first program as
// a scaled picture and returns the one the operator picks.
#pragma once

#include "init/AreaPicker.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <string>

class QFrame;
class QPushButton;

class TFormArea : public QDialog {
    Q_OBJECT

public:
    explicit TFormArea(QWidget *parent = nullptr);

    // Set by the caller before exec().
    int32_t LEDWidth = 0;
    int32_t LEDHeight = 0;
    std::string PlayList;  // the local play list, a native UTF-8 path

    // Read by the caller after exec() returned QDialog::Accepted.
    int32_t mAreaIndex = -1;
    std::array<PosiType, MaxPickerAreas> mArea{};
    int32_t mAreaCount = 0;
    double mRate = 0;

    QFrame *PnBk = nullptr;
    QFrame *Pn1 = nullptr;
    QFrame *Pn2 = nullptr;
    QFrame *Pn3 = nullptr;
    QFrame *Pn4 = nullptr;
    QPushButton *BtnOK = nullptr;
    std::array<QFrame *, MaxPickerAreas> mPn{};

    void AreaClick(int index);
    void AreaDblClick(int index);
    // The index of the panel painted navy, or -1.
    int highlightedArea() const;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void BtnOKClick();
    void paintPanel(int index, bool highlighted);
};
