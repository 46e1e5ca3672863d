#pragma once

// The whole public surface of Ptolix.

#include "ptolix/db/connection.h"
#include "ptolix/db/error.h"
#include "ptolix/frame/errors.h"
#include "ptolix/frame/frame.h"
#include "ptolix/frame/order_code.h"
#include "ptolix/frame/registry.h"
#include "ptolix/frame/result_array.h"
#include "ptolix/frame/sql_text.h"
#include "ptolix/frame/system.h"
#include "ptolix/frame/variant.h"
#include "ptolix/records/about.h"
#include "ptolix/schema/schema.h"
