// Demo build of the report viewer. The release build turns the trial check
// below into live code and stamps its expiry date.
import { renderReport } from "./report.js";

/*
const TRIAL_EXPIRES_AT = EXPIRY_DATE; // milliseconds since 1970, UTC
if (Date.now() > TRIAL_EXPIRES_AT) {
  throw new Error("This trial build has expired.");
}
*/

export function main(data) {
  return renderReport(data);
}
