#include "app/MailEngine.h"

void MailEngine::Init(const EngineSettings& s)
{
    engine_.PhoneNumber = s.phoneNumber;
    engine_.PinCode = s.pin;
    engine_.AutoReplyOn = s.autoReply;
    engine_.writelog(s.logging);
    engine_.PhoneOn = s.telephone;
    engine_.RepeatCount = int16_t(s.repeatCount);
    engine_.PopTimeoutTicks = int16_t(s.constant40);
    engine_.AlertThreshold = int16_t(s.newMailThreshold);
    engine_.UserName = s.popUser;
    engine_.Password = s.popPassword;
    engine_.ServerName = s.popServer;
    engine_.ServerPort = s.popPort;
    engine_.VoiceIndex = int16_t(s.voiceIndex);
}
