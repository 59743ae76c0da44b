#pragma once
// The credentials dialog ("OPC Configuration", template 102): user name, password and domain
// for reaching servers on other machines, narrow texts in the ANSI code page. OK takes the
// three edits; Cancel leaves the texts as they were. Nothing is validated.
#include <string>

#include "ui/Dialog.h"

namespace kesti::ui {

class CredentialsDialog : public Dialog {
public:
    CredentialsDialog();

    std::string userName;
    std::string password;
    std::string domain;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void Exchange(bool store);
};

} // namespace kesti::ui
