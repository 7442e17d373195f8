// Carrier for the seed database resource; the resource object library is
// linked into every consumer of this target.
namespace seeddb {
int anchor = 0;
}
