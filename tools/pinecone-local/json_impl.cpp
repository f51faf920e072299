// The JSON parser and value types of the service, compiled once here.
#include <boost/json/src.hpp>
