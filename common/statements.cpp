#include "common/statements.h"

#include "common/buildconfig.h"
#include "common/runtimeerror.h"

#include <new>

using namespace Qt::StringLiterals;

QString SiteTag(const QString &module, const QString &procedure, const QString &project)
{
    return u"in "_s + project + u'.' + module + u'.' + procedure + u' ';
}

QString ErrorReportText(const QString &description, const QString &siteTag, int line)
{
    return description + u"\r\n"_s + siteTag + u"at line "_s + QString::number(line) + u"\r\r"_s
           + u"Please email screenshot of this message to "_s + QString::fromUtf8(kSupportAddress);
}

QString DescribeFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const RuntimeError &e) {
        return e.description();
    } catch (const std::bad_alloc &) {
        return u"Out of memory"_s;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return u"Unexpected error"_s;
    }
}

int FailureNumber(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const RuntimeError &e) {
        return e.number();
    } catch (const std::bad_alloc &) {
        return ErrorNumber::OutOfMemory;
    } catch (...) {
        return ErrorNumber::UnexpectedError;
    }
}

Statements::Statements(IFailureHandler &handler, QString siteTag)
    : m_handler(handler)
    , m_siteTag(std::move(siteTag))
{
}

void Statements::Report(std::exception_ptr failure)
{
    m_handler.Failed({m_siteTag, m_line, DescribeFailure(failure), FailureNumber(failure)});
}
