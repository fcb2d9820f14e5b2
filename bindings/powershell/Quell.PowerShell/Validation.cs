// Parameter checks made while PowerShell binds the parameters, before anything
// runs, with Quell.Net's own rules: its ShutdownReason parser and its longest
// warning period.
using System;
using System.Management.Automation;

namespace Quell.PowerShell;

/// <summary>Accepts a shutdown reason as ShutdownReason.Parse reads it: [p:|u:]MAJOR:MINOR.</summary>
[AttributeUsage(AttributeTargets.Property | AttributeTargets.Field)]
public sealed class ValidateShutdownReasonAttribute : ValidateArgumentsAttribute
{
    /// <inheritdoc/>
    protected override void Validate(object arguments, EngineIntrinsics engineIntrinsics)
    {
        string? text = arguments as string;
        if (!ShutdownReason.TryParse(text, out _))
        {
            throw new ValidationMetadataException(
                $"A shutdown reason is [p:|u:]MAJOR:MINOR, MAJOR 0 to {ShutdownReason.MaxMajor}, MINOR 0 to {ShutdownReason.MaxMinor}, not '{text}'.");
        }
    }
}

/// <summary>Accepts a warning period in seconds, 0 to ShutdownOptions.MaxDelay.</summary>
[AttributeUsage(AttributeTargets.Property | AttributeTargets.Field)]
public sealed class ValidateDelayAttribute : ValidateArgumentsAttribute
{
    /// <inheritdoc/>
    protected override void Validate(object arguments, EngineIntrinsics engineIntrinsics)
    {
        double longest = ShutdownOptions.MaxDelay.TotalSeconds;
        if (arguments is not int seconds || seconds < 0 || seconds > longest)
        {
            throw new ValidationMetadataException($"The delay is 0 to {longest} seconds, not {arguments}.");
        }
    }
}
