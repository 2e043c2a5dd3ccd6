// WireForm: builds a playlist request's body as Sonavik's client puts it on the wire: each value
// through the query-parameter encoding (text, clientid, system), then every field through the
// form-field encoding, joined by "&". Values are UTF-8. For tests of the speech service.
#pragma once

#include <string>

std::string ParamsEncodeForTest(const std::string &utf8);
std::string FormFieldEncodeForTest(const std::string &utf8);
std::string PlaylistBody(const std::string &text, const std::string &speed = "5",
                         const std::string &pitch = "2",
                         const std::string &clientId = "test-client",
                         const std::string &system = "Debian GNU/Linux 12 (bookworm) 64-bit");
