#include "scenario_file/scenario_document.h"

namespace qz5::scenario_file {

// The keys of [kinetics.parameters] for the built-in kinetics, parameter 1
// first; the meanings are those of the bundled estuary's parameter file.
const std::array<ParameterName, kBuiltInParameters> kBuiltInParameterNames = {{
    {"phyto_max_growth", "maximum growth rate of phytoplankton on nitrogen, per day"},
    {"unused", "not used by the kinetics (may be left out)"},
    {"phyto_half_saturation_n", "half-saturation nitrogen for phytoplankton growth"},
    {"phyto_loss", "phytoplankton loss rate, per day"},
    {"consumer_max_growth_on_phyto", "maximum growth rate of consumers on phytoplankton, per day"},
    {"consumer_max_growth_on_doc", "maximum growth rate of consumers on dissolved organic carbon, per day"},
    {"consumer_yield_on_doc", "consumer yield on dissolved organic carbon"},
    {"consumer_yield_on_phyto", "consumer yield on phytoplankton"},
    {"consumer_half_saturation_phyto", "half-saturation phytoplankton for consumer growth"},
    {"consumer_half_saturation_doc", "half-saturation dissolved organic carbon for consumer growth"},
    {"consumer_half_saturation_n", "half-saturation nitrogen for the nitrogen-limited part of growth on organic carbon"},
    {"consumer_loss", "consumer loss rate, per day"},
    {"carbon_per_n_living", "carbon per nitrogen of phytoplankton and consumers, mol/mol"},
    {"carbon_per_n_organic", "carbon per nitrogen of dissolved organic carbon and detritus, mol/mol"},
    {"phyto_loss_to_doc", "fraction of the phytoplankton loss going to dissolved organic carbon (rest to detritus)"},
    {"consumer_loss_to_doc", "fraction of the consumer loss going to dissolved organic carbon (rest to detritus)"},
    {"detritus_n_released", "fraction of the detritus nitrogen released as inorganic nitrogen when it decays"},
    {"detritus_decay", "decay rate of detritus releasing nitrogen, per day"},
    {"detritus_to_doc", "transfer rate of detritus to dissolved organic carbon, per day"},
}};

}  // namespace qz5::scenario_file
