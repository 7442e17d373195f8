// Carrier for the style sheets and icons; the resource object library is
// linked into every consumer of this target.
namespace appresources {
int anchor = 0;
}
