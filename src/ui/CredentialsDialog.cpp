#include "ui/CredentialsDialog.h"

#include "ui/ResourceIds.h"

namespace kesti::ui {

CredentialsDialog::CredentialsDialog() : Dialog(IDD_CREDENTIALS) {}

bool CredentialsDialog::OnInitDialog() {
    Exchange(false);
    return true; // the system puts the focus on the first control
}

void CredentialsDialog::OnOK() {
    Exchange(true);
    Close(IDOK);
}

void CredentialsDialog::Exchange(bool store) {
    ExchangeText(IDC_USER_NAME, userName, store);
    ExchangeText(IDC_PASSWORD, password, store);
    ExchangeText(IDC_DOMAIN, domain, store);
}

} // namespace kesti::ui
