#include "net/BodyLineReader.h"

namespace strivo {

void BodyLineReader::Append(std::string_view bytes) {
    for (const char byte : bytes) {
        if (byte == '\r') {
            continue;  // dropped before it could count towards a read
        }
        ++m_readLength;
        if (byte == '\0') {
            m_readCut = true;
        } else if (!m_readCut) {
            if (byte == '\n') {
                m_text += "\r\n";
            } else {
                m_text += byte;
            }
        }
        if (byte == '\n' || m_readLength == kReadLimit) {
            m_readLength = 0;
            m_readCut = false;
        }
    }
}

}  // namespace strivo
