// The banner program: a CGI program that serves one request per process.
#include "app/web_module1.h"
#include "cgi/cgi_application.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::SetCommandLine(argc, argv);
  cgi::TCGIApplication& application = cgi::Application();
  application.Initialize();
  application.RegisterModule<banner::TWebModule1>();
  application.Run();
  return 0;
}
