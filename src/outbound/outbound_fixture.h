// A node 2:5020/1 with its outbound in a temporary directory, for the
// outbound tests.
#ifndef OLVIX_OUTBOUND_OUTBOUND_FIXTURE_H_
#define OLVIX_OUTBOUND_OUTBOUND_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>

#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "testing/temp_dir.h"

namespace olvix::testing {

class OutboundTest : public ::testing::Test {
 protected:
  OutboundTest() : ctx_(tmp_ / "home/", tmp_ / "log/") {
    CreatePath(tmp_ / "home/");
    ctx_->cfg.addresses = {{2, 5020, 1, 0}};
    ctx_->cfg.outbound = tmp_ / "outbound";
    ctx_->cfg.outmail = tmp_ / "outmail/";
    ctx_->cfg.origin = "My station";
    ctx_->cfg.attach_style = AttachStyle::kBink;
    CreatePath(ctx_->cfg.outmail);
    file_ = tmp_ / "echo/file.zip";
    WriteFile(file_, "zip contents");
    tic_ = tmp_ / "outtics/ol123456.tic";
    WriteFile(tic_, "Area TEST\r\n");
  }

  LinkRecord& AddLink(const FtnAddress& a, const std::string& flavour) {
    LinkRecord link;
    link.address = a;
    link.aka = {2, 5020, 1, 0};
    link.flavour = flavour;
    link.active = true;
    return *ctx_->links.Add(link);
  }

  void UseStyle(AttachStyle style) {
    ctx_->cfg.attach_style = style;
    ctx_->cfg.fileboxes = style == AttachStyle::kFileboxes ||
                          style == AttachStyle::kLongFileboxes ||
                          style == AttachStyle::kBrakeFileboxes;
    if (ctx_->cfg.fileboxes) ctx_->cfg.outbound = tmp_ / "outbound/";
  }

  std::string Out(const std::string& name) const { return tmp_ / ("outbound" + name); }

  ScopedTempDir tmp_;
  TestContext ctx_;
  std::string file_;  // a fileecho file
  std::string tic_;   // a ticket written for a link
};

}  // namespace olvix::testing

#endif  // OLVIX_OUTBOUND_OUTBOUND_FIXTURE_H_
