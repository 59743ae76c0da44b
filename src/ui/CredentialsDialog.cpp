#include "ui/CredentialsDialog.h"

#include "ui/ResourceIds.h"

namespace kesti::ui {

CredentialsDialog::CredentialsDialog() : Dialog(IDD_CREDENTIALS) {}

// The focus starts in Name, so that a person's first keys land there; each label's mnemonic
// leads into its own edit.
bool CredentialsDialog::OnInitDialog() {
    Exchange(false);
    PlaceLabelBefore("&Name", IDC_USER_NAME);
    PlaceLabelBefore("&Password", IDC_PASSWORD);
    PlaceLabelBefore("&Domain", IDC_DOMAIN);
    SetFocus(Item(IDC_USER_NAME));
    SendMessageW(Item(IDC_USER_NAME), EM_SETSEL, 0, -1);
    return false; // the focus is set
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
