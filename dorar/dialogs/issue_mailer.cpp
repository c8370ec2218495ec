// dorar.dialogs.issue_mailer: the form in which the user writes a bug report and sends it by
// e-mail through the host's `send_email`.
#include <dorar/form.hpp>

namespace py = pybind11;

DORAR_MODULE(issue_mailer, m) {
    dorar::from_import(m, "qtpy.QtWidgets", {"QTextEdit"});
    dorar::from_import(m, "dorar.config.base", {"_"});
    dorar::from_import(m, "dorar.widgets.quickform", {"QuickFormDialog"});
    dorar::from_import(m, "dorar.utils.send_email", {"send_email"});
    dorar::Globals g(m);
    const dorar::form::Tr _(g);

    dorar::form::Dialog(m)
        .name(_("Report bug"))
        .help_body(
            _("Please copy-n-paste the error message in the Process log (if any). Please explain briefly what "
              "you were doing when the bug occurred. Please add anything that can help me reproduce the error. "
              "Thanks for your time and contribution to improving dorar."))
        .init()
        .def("setup_page",
             [g, _](py::object self) {
                 dorar::form::Page page(self);
                 page.add("server", "create_lineedit", _("Email server"), py::arg("default") = "localhost");
                 page.add("sender", "create_lineedit", _("Sender"),
                          py::arg("default") = "your email address, e.g. name@example.com");
                 page.add("receivers", "create_lineedit", _("Receivers"),
                          py::arg("default") = "email addresses separated by comma");
                 page.add("subject", "create_lineedit", _("Subject"));

                 py::object body = g("QTextEdit")(self);
                 self.attr("body") = body;
                 body.attr("setFontFamily")("monospace");
                 body.attr("setText")(self.attr("helpMessage"));
                 page.add_widget(body);

                 page.action();
             })
        .def("apply",
             [g](py::object self) {
                 py::object server = self.attr("server").attr("edit").attr("text")();
                 py::object sender = self.attr("sender").attr("edit").attr("text")();
                 py::object receivers_text = self.attr("receivers").attr("edit").attr("text")();
                 py::object subject = self.attr("subject").attr("edit").attr("text")();
                 py::object body = self.attr("body").attr("toPlainText")();

                 py::list receivers;
                 for (auto piece : receivers_text.attr("split")(","))
                     receivers.append(piece.attr("strip")());

                 g("send_email")(sender, receivers, subject, body, server);
             })
        .build();

    dorar::form::def_main(m);
    if (dorar::is_main(m)) g("main")();
}
