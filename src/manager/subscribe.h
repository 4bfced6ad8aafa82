// Subscription lines of manager letters: subscribe and unsubscribe a link,
// by tag or by mask, and ask an uplink for a fileecho this node does not
// carry.
#ifndef OLVIX_MANAGER_SUBSCRIBE_H_
#define OLVIX_MANAGER_SUBSCRIBE_H_

#include <string>

namespace olvix {

struct AreaRecord;
struct LinkRecord;
struct ManagerRequest;
struct RunContext;
struct Subscriber;

// True when the groups of a link and `groups` have a letter in common.
bool SharesGroup(const std::string& link_groups, const std::string& groups);

// The subscription of `link` to `area`, matched by address: the link of a
// letter is the record of the links file, but a subscriber may name the
// same address. nullptr when there is none.
const Subscriber* SubscriptionOf(const AreaRecord& area, const LinkRecord& link);

// Subscribes `link` to the fileecho `text` (upper-cased), or to every
// fileecho matching it when it holds "*" or "?". The results go into the
// request's report; the subscriptions change in memory only.
void Subscribe(RunContext& ctx, ManagerRequest& req, const std::string& text, LinkRecord& link);
// The same for unsubscription. A text beginning with "--" (the tear line
// of a letter) is ignored.
void Unsubscribe(RunContext& ctx, ManagerRequest& req, const std::string& text, LinkRecord& link);

// Asks the first uplink whose list offers `tag` (and that shares a group
// with `link`) for the fileecho and creates it here. Sets forwarded and
// areas changed when a request was sent, failed when it or the areas file
// holding the new fileecho could not be written.
void ForwardRequest(RunContext& ctx, ManagerRequest& req, const std::string& tag,
                    const LinkRecord& link);

// When `link` is one of the [UPLINKS], writes its robot a letter that
// drops `area` (logged as message 92). One letter per fileecho and uplink
// and run. False when the letter could not be written (logged).
bool UnsubscribeUplink(RunContext& ctx, const AreaRecord& area, const LinkRecord& link);

// True when a [BLACKLIST] entry refuses `tag`: an entry with "*" refuses
// every tag that begins with the text before it, any other entry the equal
// tag. Case counts.
bool IsBlacklisted(RunContext& ctx, const std::string& tag);

}  // namespace olvix

#endif  // OLVIX_MANAGER_SUBSCRIBE_H_
