create procedure [sp_MSins_dboT] as begin set identity_insert t on insert t values(1)
end
go