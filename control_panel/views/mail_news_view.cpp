#include <QGridLayout>
#include <QVBoxLayout>

#include "control_panel/control_ids.h"
#include "control_panel/mail_news_page.h"
#include "control_panel/views/page_widgets.h"
#include "control_panel/views/settings_pages.h"

namespace tamrix {
namespace {

class MailNewsView final : public SettingsPage {
 public:
  explicit MailNewsView(SheetContext& context)
      : SettingsPage(context, "134"), page_(MailNewsPage::Build(context.settings)) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    AddRow(grid, 0, "SMTPｻｰﾊﾞｰ：", IDC_SMTP, page_.smtp);
    AddRow(grid, 1, "POP3ｻｰﾊﾞｰ：", IDC_POP3, page_.pop3);
    AddRow(grid, 2, "NNTPｻｰﾊﾞｰ：", IDC_NNTP, page_.nntp);
    layout->addLayout(grid);
    layout->addStretch();
  }

  PageCheck Validate() override { return page_.Validate(context_.hosts); }
  void Apply() override { page_.Apply(context_.settings, context_.profile); }

 private:
  void AddRow(QGridLayout* grid, int row, std::string_view label, int id, std::string& value) {
    QLineEdit* field = MakeField(id, 255);
    field->setText(Qt8(value));
    grid->addWidget(MakeLabel(label), row, 0);
    grid->addWidget(field, row, 1);
    connect(field, &QLineEdit::textChanged, this, [&value](const QString& t) { value = Std8(t); });
    connect(field, &QLineEdit::textEdited, this, [this] { Modified(); });
  }

  MailNewsPage page_;
};

}  // namespace

SettingsPage* MakeMailNewsView(SheetContext& context) { return new MailNewsView(context); }

}  // namespace tamrix
